#pragma once
// The save dialogs of the logs and of the chart 'Save'.

#include "app/LogUnit.h"

class QWidget;

// Asks the operator for a file to save to: a file dialog with the request's filter (the first
// one selected), default extension and proposed name. An empty result means cancelled. An
// existing file is replaced without asking, as the logs and the chart 'Save' do.
QString ShowSaveDialog(QWidget* parent, const TSaveDialogRequest& request);

// Answers every save dialog of the program instead of showing one (tests); an empty provider
// brings the dialog back.
void SetSaveDialogOverride(TFileNameProvider provider);

// Asks the operator for an existing file to read (the request's filter and proposed name); an
// empty result means cancelled.
QString ShowOpenDialog(QWidget* parent, const TSaveDialogRequest& request);

// Answers every open dialog of this kind instead of showing one (tests); empty: the dialog.
void SetOpenDialogOverride(TFileNameProvider provider);
