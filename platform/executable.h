// Where the running executable lives, as the system names it.
#pragma once

#include <QByteArray>

// The bytes of the executable's folder, with a trailing "/": the folder's very name, even where
// it is not UTF-8 (a folder named in GBK) and Qt's own decoding would lose it. Empty when the
// system does not tell.
QByteArray executableFolder();
