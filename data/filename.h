// File names as the program carries them. The system names files with bytes and the program
// with texts: bytes that are UTF-8 become their characters, and any other byte (a folder named
// in GBK, as archives made on Chinese systems unpack) becomes one of the lone surrogates
// U+DC80..U+DCFF, which no UTF-8 text yields, so that every name goes back to its very bytes.
// Qt's own decoding turns such bytes into U+FFFD and loses the name.
#pragma once

#include <QByteArray>
#include <QString>

QString decodeFileName(const QByteArray& bytes);
QByteArray encodeFileName(const QString& name);
