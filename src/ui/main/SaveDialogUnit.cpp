#include "ui/main/SaveDialogUnit.h"

#include "ui/controls/FileDialogUnit.h"

#include <QFileDialog>

namespace {
TFileNameProvider& Override() {
    static TFileNameProvider provider;
    return provider;
}
} // namespace

void SetSaveDialogOverride(TFileNameProvider provider) {
    Override() = std::move(provider);
}

QString ShowSaveDialog(QWidget* parent, const TSaveDialogRequest& request) {
    if (Override())
        return Override()(request);
    QFileDialog dialog(parent);
    PrepareFileDialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!request.Filter.isEmpty())
        dialog.setNameFilter(request.Filter);
    if (!request.DefaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.DefaultSuffix); // a leading '.' is dropped
    if (!request.ProposedName.isEmpty())
        dialog.selectFile(request.ProposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

namespace {
TFileNameProvider& OpenOverride() {
    static TFileNameProvider provider;
    return provider;
}
} // namespace

void SetOpenDialogOverride(TFileNameProvider provider) {
    OpenOverride() = std::move(provider);
}

QString ShowOpenDialog(QWidget* parent, const TSaveDialogRequest& request) {
    if (OpenOverride())
        return OpenOverride()(request);
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!request.Filter.isEmpty())
        dialog.setNameFilter(request.Filter);
    if (!request.ProposedName.isEmpty())
        dialog.selectFile(request.ProposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
