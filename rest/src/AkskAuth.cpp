#include "AkskAuth.h"

#include <cstdio>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "NavixLogging.h"

namespace navixrest {

namespace {

const char* const kScheme = "SDK-HMAC-SHA256";

// ASCII A-Z to a-z, byte by byte; every other byte unchanged (locale-free).
std::string lowerAscii(const std::string& text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
    }
    return out;
}

} // namespace

std::string hexEncode(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 0x0f]);
    }
    return out;
}

std::string hmacSha256(const std::string& key, const std::string& message) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    // A zero-length key is legal for HMAC; OpenSSL wants a non-NULL pointer for it.
    static const unsigned char emptyKey[1] = {0};
    const unsigned char* keyBytes =
        key.empty() ? emptyKey : reinterpret_cast<const unsigned char*>(key.data());
    if (HMAC(EVP_sha256(), keyBytes, static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char*>(message.data()), message.size(), mac,
             &length) == nullptr) {
        length = 0;
    }
    return std::string(reinterpret_cast<const char*>(mac), length);
}

std::string sha256Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        length = 0;
    }
    return hexEncode(std::string(reinterpret_cast<const char*>(digest), length));
}

std::string buildSignedHeaders(const HeaderMap& headers) {
    std::string names;
    for (HeaderMap::const_iterator it = headers.begin(); it != headers.end(); ++it) {
        names += it->first;
        names += ';';
    }
    names = lowerAscii(names);
    if (!names.empty()) names.erase(names.size() - 1);
    return names;
}

std::string buildCanonicalRequest(const std::string& canonicalUri, const std::string& method,
                                  const std::string& query, const HeaderMap& headers,
                                  const std::string& body) {
    std::string canonicalHeaders;
    for (HeaderMap::const_iterator it = headers.begin(); it != headers.end(); ++it) {
        canonicalHeaders += lowerAscii(it->first);
        canonicalHeaders += ':';
        canonicalHeaders += it->second;
        canonicalHeaders += '\n';
    }
    std::string out;
    out += method;
    out += '\n';
    out += canonicalUri;
    out += "/\n";
    out += query;
    out += '\n';
    out += canonicalHeaders;
    out += '\n';
    out += buildSignedHeaders(headers);
    out += '\n';
    out += sha256Hex(body);
    return out;
}

std::string buildStringToSign(const std::string& canonicalRequest,
                              const std::string& credentialScope, const std::string& sdkDate) {
    return std::string(kScheme) + "\n" + sdkDate + "\n" + credentialScope + "\n" +
           sha256Hex(canonicalRequest);
}

std::string buildSignature(const std::string& stringToSign, const std::string& signingKey) {
    return hexEncode(hmacSha256(signingKey, stringToSign));
}

AkskAuth::AkskAuth() {}
AkskAuth::~AkskAuth() {}

std::string AkskAuth::deriveSigningKey(const std::string& shortDate) const {
    std::string key = "SDK" + sk;
    key = hmacSha256(key, shortDate);
    key = hmacSha256(key, region);
    key = hmacSha256(key, "vkl");
    return hmacSha256(key, "sdk_request");
}

std::string AkskAuth::buildAuthorization(const std::string& signature,
                                         const std::string& credentialScope,
                                         const std::string& signedHeaders) const {
    return std::string(kScheme) + " Credential=" + ak + "/" + credentialScope +
           ", SignedHeaders=" + signedHeaders + ", Signature=" + signature;
}

int AkskAuth::sign(const std::string& canonicalUri, const std::string& method,
                   const std::string& query, const HeaderMap& headers, const std::string& body,
                   const std::string& sdkDate, std::string& authorization) const {
    const std::string shortDate = sdkDate.substr(0, 8);
    const std::string canonical = buildCanonicalRequest(canonicalUri, method, query, headers, body);
    const std::string scope = shortDate + "/" + region + "/vkl/sdk_request";
    const std::string toSign = buildStringToSign(canonical, scope, sdkDate);
    const std::string key = deriveSigningKey(shortDate);
    // The derived key and the signature are as good as the secret key for
    // the day; the log only records that they were made.
    NAVIX_LOG(NAVIX_INFO, "navixrest::AkskAuth::sign", "key: %s", "****");
    const std::string signature = buildSignature(toSign, key);
    const std::string signedHeaders = buildSignedHeaders(headers);
    authorization = buildAuthorization(signature, scope, signedHeaders);
    NAVIX_LOG(NAVIX_DEBUG, "navixrest::AkskAuth::sign", "canonical Request: %s", canonical.c_str());
    NAVIX_LOG(NAVIX_DEBUG, "navixrest::AkskAuth::sign", "to Sign: %s", toSign.c_str());
    NAVIX_LOG(NAVIX_DEBUG, "navixrest::AkskAuth::sign", "signature: %s", "****");
    return 0;
}

} // namespace navixrest
