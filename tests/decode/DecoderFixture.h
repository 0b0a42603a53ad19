#pragma once

#include "decode/ArticleDecoder.h"
#include "tests/support/ActivityLogFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// A decoder writing into an output directory of its own, with the activity log and the record of decoded
// files beside it.
class DecoderFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(out);
        decoder.setOutputDir(out.c_str());
    }

    int Decode(const std::string& text) {
        std::vector<char> body(text.begin(), text.end());
        return decoder.DecodeArticle(body);
    }

    std::string Log() { return log.Read(); }

    TempDir work;
    std::string out = work.file("out");
    ActivityLogFile log{work.file("activity.log")};
    std::string decodes = work.file("decodes");
    ArticleDecoder decoder{decodes};
};

// What a decoder of its own, with a fresh output directory and record, makes of a text: its code and the
// files it leaves, by name with their contents.
struct FreshDecode {
    explicit FreshDecode(const std::string& text) {
        TempDir target, record;
        ArticleDecoder decoder(record.file("decodes"));
        decoder.setOutputDir(target.str().c_str());
        std::vector<char> body(text.begin(), text.end());
        code = decoder.DecodeArticle(body);
        for (const auto& entry : std::filesystem::directory_iterator(target.path())) {
            files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
        }
    }

    int code;
    std::map<std::string, std::string> files;
};
