#pragma once
// The inbox's RSA key pair: made here, the private key in a PEM file of this computer only,
// the public key (base64 of its DER form) in the project and, as modulus and exponent, in
// the script, which encrypts every stored message under it.
#include <memory>
#include <optional>
#include <string>

namespace qp {

// What the script needs of a project's public key.
struct TInboxPublicKey {
    std::string KeyId;        // the first 8 bytes of the DER form's SHA-256, hex: names the key in records
    int Bytes = 0;            // the modulus's size
    std::string Modulus;      // hex, big-endian, 2 * Bytes digits
    std::string Exponent;     // decimal
    // R^2 mod the modulus for R = 2^(28 * limbs), limbs = ceil(8 * Bytes / 28): the constant of
    // the runtime's Montgomery multiplication in 28-bit limbs. Hex like Modulus.
    std::string MontgomeryR2;
};

// Reads the PublicKey setting; raises Error naming the setting unless it is an RSA key of
// 3072 to 4096 bits.
TInboxPublicKey ReadInboxPublicKey(const std::string& base64Der);

// Makes a 3072-bit key pair, writes the private key to keyFile (PEM, 0600; encrypted with
// AES-256 when passphrase is not empty) and returns the public key's base64 DER. Refuses a
// keyFile that exists: it may be the only key of earlier messages.
std::string MakeInboxKeyPair(const std::string& keyFile, const std::string& passphrase);

// A loaded private key.
class TInboxPrivateKey {
public:
    // Raises Error for a missing or unreadable file, a wrong or missing passphrase, or a key
    // that is not RSA.
    TInboxPrivateKey(const std::string& keyFile, const std::string& passphrase);
    ~TInboxPrivateKey();
    TInboxPrivateKey(const TInboxPrivateKey&) = delete;
    TInboxPrivateKey& operator=(const TInboxPrivateKey&) = delete;

    // Whether a key file asks for a passphrase (an encrypted PEM).
    static bool NeedsPassphrase(const std::string& keyFile);

    // The base64 DER of its public half, to compare with the project's.
    std::string PublicBase64() const;
    std::string KeyId() const;
    // RSA-OAEP (SHA-256, MGF1-SHA-256) decryption; nullopt when the block does not open.
    std::optional<std::string> Unwrap(const std::string& wrapped) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Raises Error unless key is the private half of the project's public key.
void CheckKeyMatches(const TInboxPrivateKey& key, const std::string& projectPublicKey);

}  // namespace qp
