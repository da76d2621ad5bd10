// The program's text files ("vexolan.ini", the update server's "version.txt"): lines with
// CR LF ends, numbers with "." as decimal separator whatever the locale. The reader takes
// items as the program's text files have always been read: a number skips blanks and line
// ends before it and ends at the next blank; "next line" skips the rest of the line. A word
// where a number belongs raises BadItem, and what was read before it stands.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>

namespace text_file {

struct BadItem : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Reader {
  public:
    explicit Reader(QByteArray text) : text_(std::move(text)) {}
    bool eof() const { return pos_ >= text_.size(); }
    // The rest of the current line, and on to the next.
    QString line();
    void next_line();
    // 0 when only blanks are left.
    int32_t integer();
    long double real();

  private:
    QByteArray token();
    QByteArray text_;
    qsizetype pos_ = 0;
};

class Writer {
  public:
    void line(const QString& text);
    // The values on one line, one blank between them.
    void integers(std::span<const int32_t> values);
    void integers(std::initializer_list<int32_t> values) {
        integers(std::span<const int32_t>(values.begin(), values.size()));
    }
    // Each value with 4 decimals, right-aligned in 6 characters, one blank between them.
    // Raises std::invalid_argument for a value of more than 58 digits before the point.
    void reals(std::initializer_list<long double> values);
    const QByteArray& text() const { return text_; }

  private:
    QByteArray text_;
};

} // namespace text_file
