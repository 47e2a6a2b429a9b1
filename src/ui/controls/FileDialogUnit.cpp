#include "ui/controls/FileDialogUnit.h"

#include <QFileDialog>
#include <QFileIconProvider>
#include <QMimeDatabase>

namespace {

class TNameOnlyIconProvider : public QFileIconProvider {
public:
    TNameOnlyIconProvider()
        : FFolder(QFileIconProvider::icon(Folder)), FFile(QFileIconProvider::icon(File)),
          FDrive(QFileIconProvider::icon(Drive)) {
        // No .directory file inside a folder is read for a folder icon either.
        setOptions(DontUseCustomDirectoryIcons);
    }

    // Also called on the file model's gathering thread: the icons are made once, up front.
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo& info) const override {
        if (info.isRoot())
            return FDrive;
        return info.isDir() ? FFolder : FFile;
    }

    QString type(const QFileInfo& info) const override {
        if (info.isRoot())
            return QStringLiteral("Drive");
        if (info.isDir())
            return QStringLiteral("Folder");
        const QMimeType mime =
            FMimeTypes.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
        if (mime.isDefault() || mime.comment().isEmpty())
            return info.isFile() ? QStringLiteral("File") : QStringLiteral("Special file");
        return mime.comment();
    }

private:
    QIcon FFolder, FFile, FDrive;
    QMimeDatabase FMimeTypes;
};

} // namespace

void PrepareFileDialog(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // One for the whole run (the dialogs only borrow it); made with the first dialog, when the
    // style that draws its icons exists.
    static TNameOnlyIconProvider* const provider = new TNameOnlyIconProvider;
    dialog.setIconProvider(provider);
}
