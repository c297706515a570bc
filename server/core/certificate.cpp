#include "certificate.h"

#include <arpa/inet.h>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace kvserver {
namespace {

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

void check(bool ok, const char* what) {
    if (!ok)
        throw CertificateError(std::string("Не удалось сделать сертификат сервера: ") + what);
}

std::string bioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return std::string(data, std::size_t(size));
}

void addExtension(X509* cert, X509V3_CTX* ctx, int nid, const std::string& value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, ctx, nid, value.c_str());
    check(ext != nullptr, "расширение сертификата не принято");
    const bool added = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    check(added, "расширение сертификата не добавлено");
}

Cert readCertificate(const std::string& pem) {
    Bio bio(BIO_new_mem_buf(pem.data(), int(pem.size())));
    Cert cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!cert)
        throw CertificateError("Файл не читается как сертификат (PEM)");
    return cert;
}

} // namespace

bool isIpAddress(const std::string& name) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, name.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, name.c_str(), buffer) == 1;
}

KeyAndCertificate makeSelfSigned(const std::vector<std::string>& names, int days) {
    if (names.empty())
        throw CertificateError("Сертификату сервера нужно хотя бы одно имя или адрес");
    std::string san;
    for (const std::string& name : names) {
        for (char c : name)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '.' || c == '-' || c == ':'))
                throw CertificateError("Имя сервера «" + name.substr(0, 100) +
                                       "» недопустимо: только латинские буквы, цифры, точки, "
                                       "дефисы (или адрес IP)");
        if (name.empty() || name.size() > 253)
            throw CertificateError("Имя сервера пусто или слишком длинно");
        san += (san.empty() ? "" : ",") + std::string(isIpAddress(name) ? "IP:" : "DNS:") + name;
    }
    Key key(EVP_EC_gen("P-256"));
    check(key != nullptr, "ключ не создан");
    Cert cert(X509_new());
    check(cert != nullptr, "нет памяти");
    check(X509_set_version(cert.get(), 2) == 1, "версия");
    unsigned char serial[16];
    check(RAND_bytes(serial, sizeof serial) == 1, "нет случайных чисел");
    serial[0] &= 0x7f; // a positive number
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    check(number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get())),
          "серийный номер");
    BN_free(number);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()),
                    -3600); // a clock a little behind still takes it
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), long(days) * 24 * 3600);
    X509_NAME* subject = X509_get_subject_name(cert.get());
    const std::string common = names.front().substr(0, 64);
    X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>("kviront-server"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(common.c_str()), -1, -1, 0);
    check(X509_set_issuer_name(cert.get(), subject) == 1, "издатель");
    check(X509_set_pubkey(cert.get(), key.get()) == 1, "открытый ключ");
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
    addExtension(cert.get(), &ctx, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash");
    addExtension(cert.get(), &ctx, NID_authority_key_identifier, "keyid:always");
    addExtension(cert.get(), &ctx, NID_subject_alt_name, san);
    check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "подпись");

    KeyAndCertificate out;
    Bio keyBio(BIO_new(BIO_s_mem()));
    check(PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr,
                                   nullptr) == 1,
          "запись ключа");
    out.keyPem = bioText(keyBio.get());
    Bio certBio(BIO_new(BIO_s_mem()));
    check(PEM_write_bio_X509(certBio.get(), cert.get()) == 1, "запись сертификата");
    out.certificatePem = bioText(certBio.get());
    return out;
}

std::vector<std::string> certificateNames(const std::string& certificatePem) {
    const Cert cert = readCertificate(certificatePem);
    std::vector<std::string> names;
    auto* list = static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(cert.get(), NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; list && i < sk_GENERAL_NAME_num(list); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(list, i);
        if (name->type == GEN_DNS) {
            const ASN1_STRING* s = name->d.dNSName;
            names.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                               std::size_t(ASN1_STRING_length(s)));
        } else if (name->type == GEN_IPADD) {
            const ASN1_STRING* s = name->d.iPAddress;
            char text[INET6_ADDRSTRLEN] = {};
            const int family = ASN1_STRING_length(s) == 4 ? AF_INET : AF_INET6;
            if (inet_ntop(family, ASN1_STRING_get0_data(s), text, sizeof text))
                names.emplace_back(text);
        }
    }
    GENERAL_NAMES_free(list);
    return names;
}

void checkKeyFits(const std::string& keyPem, const std::string& certificatePem) {
    const Cert cert = readCertificate(certificatePem);
    Bio bio(BIO_new_mem_buf(keyPem.data(), int(keyPem.size())));
    Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key)
        throw CertificateError("Файл не читается как закрытый ключ (PEM, без пароля)");
    if (X509_check_private_key(cert.get(), key.get()) != 1)
        throw CertificateError("Закрытый ключ не подходит к сертификату");
}

} // namespace kvserver
