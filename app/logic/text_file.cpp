#include "text_file.h"

#include <charconv>
#include <stdexcept>

namespace text_file {

namespace {
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
} // namespace

QString Reader::line() {
    const qsizetype start = pos_;
    while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n') ++pos_;
    const QString out = QString::fromUtf8(text_.mid(start, pos_ - start));
    next_line();
    return out;
}

void Reader::next_line() {
    while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
}

QByteArray Reader::token() {
    while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
    const qsizetype start = pos_;
    while (pos_ < text_.size() && !is_blank(text_[pos_])) ++pos_;
    return text_.mid(start, pos_ - start);
}

int32_t Reader::integer() {
    const QByteArray t = token();
    if (t.isEmpty()) return 0;
    const char* first = t.constData();
    const char* last = first + t.size();
    if (*first == '+') ++first;
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc{} || end != last)
        throw BadItem("Invalid numeric input: " + t.toStdString());
    return value;
}

long double Reader::real() {
    const QByteArray t = token();
    if (t.isEmpty()) return 0;
    const char* first = t.constData();
    const char* last = first + t.size();
    if (*first == '+') ++first;
    long double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc{} || end != last)
        throw BadItem("Invalid numeric input: " + t.toStdString());
    return value;
}

void Writer::line(const QString& text) {
    text_ += text.toUtf8() + "\r\n";
}

void Writer::integers(std::span<const int32_t> values) {
    QByteArray out;
    for (int32_t v : values) {
        if (!out.isEmpty()) out += ' ';
        out += QByteArray::number(v);
    }
    text_ += out + "\r\n";
}

void Writer::reals(std::initializer_list<long double> values) {
    QByteArray out;
    for (long double v : values) {
        // to_chars writes "." whatever the locale; a value too long for the buffer is
        // refused rather than written with what the buffer held before
        char buf[64];
        const auto result = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
        if (result.ec != std::errc{})
            throw std::invalid_argument("a number too long for a line of the file");
        if (!out.isEmpty()) out += ' ';
        out += QByteArray(buf, static_cast<qsizetype>(result.ptr - buf)).rightJustified(6, ' ');
    }
    text_ += out + "\r\n";
}

} // namespace text_file
