#include "installer_signature.h"

#include <QFile>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

namespace installer_signature {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

bool fail(QString* why, const QString& reason) {
    if (why) *why = reason;
    return false;
}

} // namespace

bool verify(const QByteArray& public_key, const QString& file, const QByteArray& signature,
            QString* why) {
    const QByteArray der =
        QByteArray::fromBase64(public_key.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    const auto* in = reinterpret_cast<const unsigned char*>(der.constData());
    std::unique_ptr<EVP_PKEY, KeyFree> key(d2i_PUBKEY(nullptr, &in, der.size()));
    if (der.isEmpty() || !key || EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519)
        return fail(why, QStringLiteral("The installer key is not an Ed25519 public key."));
    QFile installer(file);
    if (!installer.open(QIODevice::ReadOnly))
        return fail(why,
                    QStringLiteral("The installer cannot be read: ") + installer.errorString());
    // Ed25519 signs the message whole: the installer is mapped rather than copied
    const qint64 size = installer.size();
    const uchar* data = size > 0 ? installer.map(0, size) : nullptr;
    const QByteArray whole = size > 0 && !data ? installer.readAll() : QByteArray();
    if (size > 0 && !data && whole.size() != size)
        return fail(why,
                    QStringLiteral("The installer cannot be read: ") + installer.errorString());
    if (!data) data = reinterpret_cast<const uchar*>(whole.constData());
    std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    const bool valid =
        context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
        EVP_DigestVerify(
            context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
            static_cast<size_t>(signature.size()), data, static_cast<size_t>(size)) == 1;
    if (!valid) return fail(why, QStringLiteral("The installer's signature does not verify."));
    return true;
}

} // namespace installer_signature
