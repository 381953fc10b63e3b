#pragma once
// Every message box and file dialog of the window goes through this
// interface, so tests can answer them without a modal loop.

#include <QString>

class QWidget;

class UserDialogs {
public:
    enum class Kind { Information, Warning, Critical, About };
    enum class SaveAnswer { Save, Discard, Cancel };

    virtual ~UserDialogs() = default;

    // A modal box with one Ok button and no parent window. About boxes show
    // rich text under the application's default title (pass an empty title).
    virtual void showMessage(Kind kind, const QString& title, const QString& text) = 0;

    // A modal question with the buttons Save, Discard and Cancel (also the
    // answer when the box is closed).
    virtual SaveAnswer askToSave(const QString& title, const QString& text) = 0;

    // The chosen path, or an empty text when the user cancelled.
    virtual QString getSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                                    const QString& filter)
        = 0;
    virtual QString getOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                                    const QString& filter)
        = 0;
};
