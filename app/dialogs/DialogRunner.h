#pragma once
// Runs the window's own dialogs (criterion dialogs, preferences). The real
// runner calls exec(); tests replace it to drive a dialog by its object names
// without a modal loop.

class QDialog;

class DialogRunner {
public:
    virtual ~DialogRunner() = default;

    // Shows `dialog` modally and gives its result (QDialog::Accepted or
    // QDialog::Rejected).
    virtual int run(QDialog& dialog) = 0;
};
