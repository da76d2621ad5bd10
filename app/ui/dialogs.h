// Everything the program asks or tells the operator in a box goes through this
// interface: the program shows Qt's boxes, tests script the answers and record the texts.
#pragma once

#include <QString>

class QWidget;

namespace ui {

// One open or save dialog of the window. Like one dialog object, it keeps its filter,
// default extension and last file name from one use to the next: whoever sets them last
// decides what the next user of the dialog sees.
struct FileDialog {
    enum class Kind { open, save };
    static constexpr bool prompt_before_overwriting = true;
    explicit FileDialog(Kind k, bool prompt = false) : kind(k), prompt_overwrite(prompt) {}
    Kind kind;
    // Pairs of description and pattern separated by "|":
    // "Windows Bitmap|*.bmp|All Files|*.*". Empty: every file.
    QString filter;
    // Appended, after a ".", to a file name typed without an extension ("BMP").
    QString default_extension;
    // The dialog opens in this file's folder; after a successful use, the chosen file.
    QString file_name;
    // Save dialogs: ask before replacing an existing file. Open dialogs accept a name that
    // does not exist, as the designed dialogs do.
    bool prompt_overwrite;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // An information box with one OK button, titled with the program's name.
    virtual void message(const QString& text) = 0;
    // The application's standard error box, with the error's own text.
    virtual void error(const QString& text) = 0;
    // A box with Yes and No buttons; true for Yes.
    virtual bool question(const QString& title, const QString& text) = 0;
    // Shows the dialog. True when the operator chose a file, which is then the dialog's
    // file name; false, with the dialog unchanged, when the operator cancelled.
    virtual bool execute(FileDialog& dialog) = 0;
};

// Qt's modal boxes, over `parent` when it is set.
class QtDialogs : public Dialogs {
  public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void set_parent(QWidget* parent) { parent_ = parent; }
    void message(const QString& text) override;
    void error(const QString& text) override;
    bool question(const QString& title, const QString& text) override;
    bool execute(FileDialog& dialog) override;

  private:
    QWidget* parent_;
};

// The filter of a file dialog in Qt's form: "Windows Bitmap (*.bmp);;All Files (*)".
QString qt_name_filters(const QString& filter);

} // namespace ui
