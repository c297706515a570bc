#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// The server's key and a self-signed certificate for it, as setup makes them when the school
// brings none: the trainees' programs pin exactly this certificate (it comes with the server
// bank file), so no authority is involved; the names and addresses the trainees reach the
// server by are its subjectAltName.
namespace kvserver {

class CertificateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error; // a Russian message, UTF-8
};

struct KeyAndCertificate {
    std::string keyPem;
    std::string certificatePem;
};

// A P-256 key and a certificate valid for `days` from now for `names` (host names or IPv4 and
// IPv6 addresses; at least one). Throws CertificateError.
KeyAndCertificate makeSelfSigned(const std::vector<std::string>& names, int days = 3650);

// The host names and addresses a certificate is made for (its subjectAltName), as text.
// Throws CertificateError for text that is no PEM certificate.
std::vector<std::string> certificateNames(const std::string& certificatePem);

// Throws CertificateError unless the key is the certificate's own.
void checkKeyFits(const std::string& keyPem, const std::string& certificatePem);

bool isIpAddress(const std::string& name);

} // namespace kvserver
