// The data file's key, derived ahead (see earlykey.h).
// The low-level SHA-1 functions let each of the 128 000 HMAC steps copy a plain hash state; the
// general digest interface allocates a context for each step instead, which makes the same
// derivation take more than twice as long.
#define OPENSSL_API_COMPAT 0x10101000L

#include "data/earlykey.h"

#include <algorithm>
#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <system_error>
#include <unistd.h>

namespace {

// How the engine derives a file's key from its passphrase.
constexpr int kIterations = 64000;

using Digest = std::array<unsigned char, SHA_DIGEST_LENGTH>;

template <typename T>
void cleanse(T& object)
{
    OPENSSL_cleanse(&object, sizeof object);
}

// HMAC-SHA1 keyed with the passphrase, kept as the hash states after the inner and the outer
// padded key, so that each message costs two hashes of one block.
class Hmac {
public:
    explicit Hmac(const QByteArray& passphrase)
    {
        std::array<unsigned char, SHA_CBLOCK> key{};
        const auto* bytes = reinterpret_cast<const unsigned char*>(passphrase.constData());
        if (size_t(passphrase.size()) > key.size())
            SHA1(bytes, size_t(passphrase.size()), key.data());
        else
            std::copy(bytes, bytes + passphrase.size(), key.begin());
        startWithPaddedKey(inner_, key, 0x36);
        startWithPaddedKey(outer_, key, 0x5c);
        cleanse(key);
    }
    ~Hmac()
    {
        cleanse(inner_);
        cleanse(outer_);
    }
    Hmac(const Hmac&) = delete;
    Hmac& operator=(const Hmac&) = delete;

    // The message may be the result itself.
    void sign(const unsigned char* message, size_t size, Digest& result) const
    {
        SHA_CTX hash = inner_;
        SHA1_Update(&hash, message, size);
        SHA1_Final(result.data(), &hash);
        hash = outer_;
        SHA1_Update(&hash, result.data(), result.size());
        SHA1_Final(result.data(), &hash);
        cleanse(hash);
    }

private:
    static void startWithPaddedKey(SHA_CTX& hash, const std::array<unsigned char, SHA_CBLOCK>& key, unsigned char pad)
    {
        std::array<unsigned char, SHA_CBLOCK> padded;
        for (size_t i = 0; i < padded.size(); ++i)
            padded[i] = key[i] ^ pad;
        SHA1_Init(&hash);
        SHA1_Update(&hash, padded.data(), padded.size());
        cleanse(padded);
    }

    SHA_CTX inner_;
    SHA_CTX outer_;
};

// Block number index (counted from 1) of PBKDF2: the XOR of U1 = HMAC(salt, index as four bytes,
// most significant first) and Uk = HMAC(Uk-1) for every further iteration.
void deriveBlock(const Hmac& hmac, const std::array<unsigned char, 16>& salt, unsigned index, unsigned char* out,
                 size_t size)
{
    std::array<unsigned char, 16 + 4> first;
    std::copy(salt.begin(), salt.end(), first.begin());
    for (int i = 0; i < 4; ++i)
        first[salt.size() + i] = static_cast<unsigned char>(index >> (24 - 8 * i));
    Digest u;
    hmac.sign(first.data(), first.size(), u);
    Digest block = u;
    for (int iteration = 1; iteration < kIterations; ++iteration) {
        hmac.sign(u.data(), u.size(), u);
        for (size_t i = 0; i < block.size(); ++i)
            block[i] ^= u[i];
    }
    std::copy_n(block.begin(), size, out);
    cleanse(u);
    cleanse(block);
}

// The key the engine derives for a file beginning with salt.
void deriveKey(const QByteArray& passphrase, const Salt& salt, std::array<unsigned char, 32>& key)
{
    const Hmac hmac(passphrase);
    deriveBlock(hmac, salt, 1, key.data(), SHA_DIGEST_LENGTH);
    deriveBlock(hmac, salt, 2, key.data() + SHA_DIGEST_LENGTH, key.size() - SHA_DIGEST_LENGTH);
}

// The bytes as hexadecimal digits from at on; where the digits end.
template <std::size_t Size, std::size_t Bytes>
std::size_t writeHex(std::array<char, Size>& text, std::size_t at, const std::array<unsigned char, Bytes>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    for (const unsigned char byte : bytes) {
        text[at++] = digits[byte >> 4];
        text[at++] = digits[byte & 0xf];
    }
    return at;
}

// The engine's first use of the cryptography library loads the library's configuration and looks
// up its cipher and hash; done here, it costs the first statement nothing.
void prepareEngineCryptography()
{
    OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG, nullptr);
    EVP_CIPHER_free(EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr));
    EVP_MD_free(EVP_MD_fetch(nullptr, "SHA1", nullptr));
}

}  // namespace

RawKey::RawKey(const std::array<unsigned char, 32>& key)
{
    text_[0] = 'x';
    text_[1] = '\'';
    size_ = writeHex(text_, 2, key);
    text_[size_++] = '\'';
}

RawKey::RawKey(const std::array<unsigned char, 32>& key, const Salt& salt) : RawKey(key)
{
    size_ = writeHex(text_, size_ - 1, salt);
    text_[size_++] = '\'';
}

RawKey::RawKey(RawKey&& other) noexcept : text_(other.text_), size_(other.size_)
{
    cleanse(other.text_);
    other.size_ = 0;
}

RawKey::~RawKey() { cleanse(text_); }

EarlyKey::EarlyKey(const QByteArray& path, const QByteArray& passphrase, NewFileKey* known)
    : path_(path), passphrase_(passphrase)
{
    if (known) {
        known->wait();
        salt_ = known->salt_;
        key_ = known->key_;
        derived_ = known->derived_ && known->passphrase_ == passphrase;
        return;
    }
    try {
        thread_ = std::thread(&EarlyKey::derive, this);
    } catch (const std::system_error&) {
        // Without a thread the connection derives the key itself, as it does without this.
    }
}

EarlyKey::~EarlyKey()
{
    wait();
    forget();
}

RawKey EarlyKey::take(const QByteArray& path, const QByteArray& passphrase)
{
    wait();
    Salt now;
    const bool same = derived_ && passphrase == passphrase_ && readSalt(path, now) && now == salt_;
    RawKey key = same ? RawKey(key_) : RawKey();
    forget();
    return key;
}

bool EarlyKey::readSalt(const QByteArray& path, Salt& salt)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool read = ::pread(fd, salt.data(), salt.size(), 0) == ssize_t(salt.size());
    ::close(fd);
    return read;
}

void EarlyKey::derive()
{
    if (!readSalt(path_, salt_))
        return;
    deriveKey(passphrase_, salt_, key_);
    derived_ = true;
    prepareEngineCryptography();
}

void EarlyKey::wait()
{
    if (thread_.joinable())
        thread_.join();
}

void EarlyKey::forget()
{
    cleanse(key_);
    derived_ = false;
}

NewFileKey::NewFileKey(const QByteArray& passphrase) : passphrase_(passphrase)
{
    // The random numbers' first draw readies the cryptography library too, so it is drawn there.
    const auto derive = [this] {
        if (RAND_bytes(salt_.data(), int(salt_.size())) != 1)
            return;
        deriveKey(passphrase_, salt_, key_);
        derived_ = true;
    };
    try {
        thread_ = std::thread(derive);
    } catch (const std::system_error&) {
        derive();
    }
}

NewFileKey::~NewFileKey()
{
    wait();
    cleanse(key_);
}

RawKey NewFileKey::withSalt()
{
    wait();
    return derived_ ? RawKey(key_, salt_) : RawKey();
}

RawKey NewFileKey::alone()
{
    wait();
    return derived_ ? RawKey(key_) : RawKey();
}

void NewFileKey::wait()
{
    if (thread_.joinable())
        thread_.join();
}
