// Everything the program asks or tells the operator in a box goes through this
// interface: the program shows Qt's boxes, tests script the answers and record the texts.
#pragma once

#include <QString>

class QWidget;

namespace ui {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // An information box with one OK button.
    virtual void message(const QString& text) = 0;
    // The application's standard error box, with the error's own text.
    virtual void error(const QString& text) = 0;
    // A yes/no question; true for yes.
    virtual bool question(const QString& text) = 0;
    // A file to open or to save, or an empty text when the operator cancels.
    virtual QString open_file(const QString& filter, const QString& folder) = 0;
    virtual QString save_file(const QString& filter, const QString& folder) = 0;
};

// Qt's modal boxes, titled with the program's name, over `parent` when it is set.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void set_parent(QWidget* parent) { parent_ = parent; }
    void message(const QString& text) override;
    void error(const QString& text) override;
    bool question(const QString& text) override;
    QString open_file(const QString& filter, const QString& folder) override;
    QString save_file(const QString& filter, const QString& folder) override;

private:
    QWidget* parent_;
};

}  // namespace ui
