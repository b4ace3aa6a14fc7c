#include "FileDigest.h"

#include <openssl/evp.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

namespace linksim {

namespace {

std::string Hex(const unsigned char* bytes, unsigned int length) {
    std::string digest;
    for (unsigned int i = 0; i < length; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        digest += hex;
    }
    return digest;
}

}  // namespace

std::string Sha256OfText(const std::string& text) {
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), bytes, &length, EVP_sha256(), nullptr) != 1) return "";
    return Hex(bytes, length);
}

bool Sha256OfFile(const std::string& path, std::string& digest, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + path + " for its digest";
        return false;
    }
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        error = "the SHA-256 digest could not be started";
        return false;
    }
    std::vector<char> block(1 << 16);
    while (file) {
        file.read(block.data(), std::streamsize(block.size()));
        if (file.gcount() > 0 && EVP_DigestUpdate(context.get(), block.data(), size_t(file.gcount())) != 1) {
            error = "the SHA-256 digest of " + path + " failed";
            return false;
        }
    }
    if (file.bad()) {
        error = "cannot read " + path + " for its digest";
        return false;
    }
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), bytes, &length) != 1) {
        error = "the SHA-256 digest of " + path + " failed";
        return false;
    }
    digest = Hex(bytes, length);
    return true;
}

}  // namespace linksim
