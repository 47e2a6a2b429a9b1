#pragma once
// The program's file dialogs show files by their names alone.
//
// A file dialog that guesses a file's kind from its content opens every file it lists; one that
// blocks on reading (/proc/kmsg as root, a named pipe, a hung device) then freezes the whole
// window. The program's own dialog (not the desktop's) with this icon provider reads no file's
// content: icons by kind (folder, file, drive), the type column by the name's extension.

class QFileDialog;

// Makes the dialog the program's own and gives it the name-only icon provider.
void PrepareFileDialog(QFileDialog& dialog);
