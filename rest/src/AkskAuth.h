// Request signing with an access key and secret key, scheme "SDK-HMAC-SHA256".
// The service repeats the computation, so every byte of the strings matters.
#ifndef NAVIXREST_AKSK_AUTH_H
#define NAVIXREST_AKSK_AUTH_H

#include <map>
#include <string>

namespace navixrest {

typedef std::map<std::string, std::string> HeaderMap;

// Each byte as two lower-case hexadecimal digits.
std::string hexEncode(const std::string& bytes);
// 32-byte HMAC-SHA256 of message under key.
std::string hmacSha256(const std::string& key, const std::string& message);
// SHA-256 of text as 64 lower-case hexadecimal digits.
std::string sha256Hex(const std::string& text);

std::string buildCanonicalRequest(const std::string& canonicalUri, const std::string& method,
                                  const std::string& query, const HeaderMap& headers,
                                  const std::string& body);
std::string buildStringToSign(const std::string& canonicalRequest,
                              const std::string& credentialScope, const std::string& sdkDate);
std::string buildSignature(const std::string& stringToSign, const std::string& signingKey);
std::string buildSignedHeaders(const HeaderMap& headers);

class AkskAuth {
  public:
    std::string ak;
    std::string sk;
    std::string region;

    AkskAuth();
    ~AkskAuth();

    // Fills authorization with the "Authorization" header value; always 0.
    int sign(const std::string& canonicalUri, const std::string& method, const std::string& query,
             const HeaderMap& headers, const std::string& body, const std::string& sdkDate,
             std::string& authorization) const;
    // Signing key for one day (YYYYMMDD), derived from sk and region.
    std::string deriveSigningKey(const std::string& shortDate) const;
    std::string buildAuthorization(const std::string& signature, const std::string& credentialScope,
                                   const std::string& signedHeaders) const;
};

} // namespace navixrest

#endif
