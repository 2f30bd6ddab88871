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

using Salt = std::array<unsigned char, 16>;

// A key in the engine's raw form, wiped when it goes; empty when there is none. With a salt, the
// form x'<64 hex digits><32 hex digits>' makes a new file begin with that salt.
class RawKey {
public:
    RawKey() = default;
    explicit RawKey(const std::array<unsigned char, 32>& key);
    RawKey(const std::array<unsigned char, 32>& key, const Salt& salt);
    RawKey(RawKey&& other) noexcept;  // leaves other empty and wiped
    ~RawKey();
    RawKey(const RawKey&) = delete;
    RawKey& operator=(const RawKey&) = delete;

    bool empty() const { return size_ == 0; }
    std::string_view text() const { return {text_.data(), size_}; }

private:
    std::array<char, 3 + 64 + 32> text_{};
    std::size_t size_ = 0;
};

class NewFileKey;

class EarlyKey {
public:
    // Starts deriving the key of the file at path for the passphrase. A file that cannot be
    // read, or is too short to hold a salt, gets no key. With known, the key of a file just made
    // (brought across from an older one), nothing is derived: that key is the one handed out.
    EarlyKey(const QByteArray& path, const QByteArray& passphrase, NewFileKey* known = nullptr);
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

// The key of a data file about to be made, derived on a thread of its own while the program does
// other work: a salt of its own, drawn at random, and the key the engine derives from it and the
// passphrase. A file made with it is the one the passphrase would make with that salt, and opens
// with the passphrase as any other.
class NewFileKey {
public:
    explicit NewFileKey(const QByteArray& passphrase);
    // Waits for the derivation and wipes the key.
    ~NewFileKey();
    NewFileKey(const NewFileKey&) = delete;
    NewFileKey& operator=(const NewFileKey&) = delete;

    // The key with its salt, to make the file with; the key alone, to open it once made. Both
    // wait for the derivation; both are empty when no salt could be drawn.
    RawKey withSalt();
    RawKey alone();

private:
    friend class EarlyKey;

    void wait();

    const QByteArray passphrase_;
    Salt salt_{};
    std::array<unsigned char, 32> key_{};
    bool derived_ = false;
    std::thread thread_;
};
