// The data file's key, derived on a thread of its own while the program starts, so that the
// first statement does not wait while the engine derives it from the passphrase.
//
// The engine derives the key of a file from the passphrase and the 16-byte salt the file
// begins with (PBKDF2-HMAC-SHA1, 64 000 iterations, 32 bytes), and takes a key derived that way
// in its raw form, x'<64 hex digits>', without deriving anything. The key derived here is handed
// out only for the same passphrase and a file that still begins with the same salt. It never
// leaves the memory and is wiped once handed out or no longer needed.
#pragma once

#include <QByteArray>
#include <array>
#include <string_view>
#include <thread>

// A key in the engine's raw form, wiped when it goes; empty when there is none.
class RawKey {
public:
    RawKey() = default;
    explicit RawKey(const std::array<unsigned char, 32>& key);
    RawKey(RawKey&& other) noexcept;  // leaves other empty and wiped
    ~RawKey();
    RawKey(const RawKey&) = delete;
    RawKey& operator=(const RawKey&) = delete;

    bool empty() const { return !filled_; }
    std::string_view text() const { return {text_.data(), filled_ ? text_.size() : 0}; }

private:
    std::array<char, 3 + 64> text_{};
    bool filled_ = false;
};

class EarlyKey {
public:
    // Starts deriving the key of the file at path for the passphrase. A file that cannot be
    // read, or is too short to hold a salt, gets no key.
    EarlyKey(const QByteArray& path, const QByteArray& passphrase);
    // Waits for the derivation and wipes what it left.
    ~EarlyKey();
    EarlyKey(const EarlyKey&) = delete;
    EarlyKey& operator=(const EarlyKey&) = delete;

    // The key, once, when it was derived for this passphrase and the file at path begins with
    // the salt it was derived with; waits for the derivation to end. Empty otherwise: the file
    // was replaced by one with another salt, the passphrase differs, or the key was already
    // handed out.
    RawKey take(const QByteArray& path, const QByteArray& passphrase);

private:
    using Salt = std::array<unsigned char, 16>;
    static bool readSalt(const QByteArray& path, Salt& salt);

    void derive();
    void wait();
    void forget();

    const QByteArray path_;
    const QByteArray passphrase_;
    Salt salt_{};
    std::array<unsigned char, 32> key_{};
    bool derived_ = false;
    std::thread thread_;
};
