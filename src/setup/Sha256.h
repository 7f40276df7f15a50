#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>

struct evp_md_ctx_st;

// SHA-256 through OpenSSL's libcrypto, which uses the processor's SHA instructions where there
// are any (several times Qt's portable code). Fed piece by piece, so a download is hashed as it
// arrives and never read a second time.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void add(QByteArrayView bytes);
    // The digest of everything added, in lowercase hex. Ends the hashing.
    QString hex();

private:
    struct Free
    {
        void operator()(evp_md_ctx_st *context) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> m_context;
};
