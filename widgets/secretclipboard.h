// The clipboard for texts out of the account list, which may be passwords: each is marked
// for clipboard managers as a secret to keep out of their history, and is taken off the
// clipboard again after a while and when the program ends, unless something else has been
// copied since.
#pragma once

#include <QString>
#include <chrono>

namespace SecretClipboard {

// Puts text on the clipboard with the "x-kde-passwordManagerHint" = "secret" mark, and
// clears it once its time is up.
void copy(const QString& text);

// Clears the clipboard if it still holds the last text copied here; a clipboard the user has
// changed since is left alone.
void forget();

// How long a copied text stays: 15 seconds, or what a test set.
std::chrono::milliseconds lifetime();
void setLifetimeForTesting(std::chrono::milliseconds lifetime);

}  // namespace SecretClipboard
