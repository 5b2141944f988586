#include <cstdio>

#include <QString>

#include <Base64.h>
#include <KCEncryptor.h>

int main()
{
    using namespace brevona;
    const QString secret = QStringLiteral("outside");
    if (KCEncryptor::decryptString(KCEncryptor::encryptString(secret)) != secret) {
        std::puts("scrambler round trip failed");
        return 1;
    }
    if (Base64::decode(Base64::encode(secret)) != secret) {
        std::puts("Base64 round trip failed");
        return 1;
    }
    std::puts("consumer ok");
    return 0;
}
