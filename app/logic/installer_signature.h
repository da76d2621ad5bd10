// The detached Ed25519 signature of an update's installer. A lab that signs its installers
// builds the program with its public key (VEXOLAN_UPDATE_KEY: the base64 line of the key's
// PEM form, as `openssl pkey -pubout` prints it); an installer is then started only when
// the signature downloaded beside it verifies against that key.
#pragma once

#include <QByteArray>
#include <QString>

namespace installer_signature {

// Whether `signature` (the 64 raw bytes of an Ed25519 signature) is the signature of the
// file's whole content under `public_key` (base64 of the key's DER form). False, with the
// reason in `why`, for a key that is not an Ed25519 public key, a file that cannot be read,
// or a signature that does not verify.
bool verify(const QByteArray& public_key, const QString& file, const QByteArray& signature,
            QString* why);

} // namespace installer_signature
