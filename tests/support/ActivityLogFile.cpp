#include "tests/support/ActivityLogFile.h"

#include "log/Log.h"
#include "tests/support/TempDir.h"

ActivityLogFile::ActivityLogFile(std::string path) : path_(std::move(path)) {
    SetLogFileName(path_.c_str());
    SetLogEnabled(1);
}

ActivityLogFile::~ActivityLogFile() {
    SetLogEnabled(0);
    SetLogFileName(nullptr);
}

std::string ActivityLogFile::Read() const {
    return ReadLogFile(path_);
}
