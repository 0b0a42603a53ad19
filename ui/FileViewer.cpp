#include "ui/FileViewer.h"

// GIO first: its headers use names that Qt defines as macros.
#include <gio/gio.h>

#include <QFile>
#include <QMimeDatabase>

#include "ui/Dialogs.h"

namespace {

GAppInfo* DefaultApplication(const QString& type) {
    return g_app_info_get_default_for_type(type.toUtf8().constData(), FALSE);
}

} // namespace

void ViewFile(const std::string& path, Dialogs& dialogs, QWidget* parent, const char* textType) {
    QMimeType type = QMimeDatabase().mimeTypeForFile(QFile::decodeName(QByteArray::fromStdString(path)),
                                                     QMimeDatabase::MatchExtension);
    GAppInfo* application = DefaultApplication(type.name());
    if (!application) {
        application = DefaultApplication(textType);
        if (!application) {
            return;
        }
        if (!dialogs.Question(
                parent,
                "No Application is associated with this file type.\nWould you like to view it in "
                "the default text editor?",
                "Viewing File")) {
            g_object_unref(application);
            return;
        }
    }
    GFile* file = g_file_new_for_path(path.c_str());
    GList files = {file, nullptr, nullptr};
    GError* error = nullptr;
    if (!g_app_info_launch(application, &files, nullptr, &error)) {
        dialogs.Message(parent, QString::fromUtf8(error->message), "System Error", Dialogs::Icon::Warning);
        g_error_free(error);
    }
    g_object_unref(file);
    g_object_unref(application);
}
