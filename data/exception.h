// Errors the program raises; the default error handler shows their message.
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(const QString& message) : message_(message), utf8_(message.toUtf8()) {}
    const QString& message() const { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// Anything the database engine refuses: a missing file, a wrong key, a bad statement.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// A text that does not convert to the value asked for (a date, a number).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
