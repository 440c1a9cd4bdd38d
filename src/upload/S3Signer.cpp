#include "upload/S3Signer.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QMessageAuthenticationCode>
#include <QUrl>

namespace pelorin {

namespace {

QByteArray hmac(const QByteArray& key, const QByteArray& message)
{
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256);
}

QString sha256Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// Leading and trailing spaces and tabs only; inner runs stay as they are.
QString trimmedForSigning(const QString& value)
{
    qsizetype begin = 0;
    qsizetype end = value.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(value[begin]))
        ++begin;
    while (end > begin && blank(value[end - 1]))
        --end;
    return value.mid(begin, end - begin);
}

} // namespace

QString encodeUnreserved(const QString& text, bool keepSlash)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, keepSlash ? QByteArrayLiteral("/") : QByteArray()));
}

S3SignedRequest signS3Request(const S3SigningInput& input)
{
    S3SignedRequest out;
    // The C locale: the stamp must be ASCII digits whatever the user's locale writes.
    out.amzDate = QLocale::c().toString(input.time.toUTC(), QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString dateStamp = out.amzDate.left(8);
    out.payloadHash = sha256Hex(input.body);

    for (const auto& [name, value] : input.extraHeaders)
        out.headers[name.toUtf8()] = value;
    out.headers["host"] = input.host;
    out.headers["x-amz-content-sha256"] = out.payloadHash;
    out.headers["x-amz-date"] = out.amzDate;

    QString canonicalHeaders;
    QStringList names;
    for (const auto& [name, value] : out.headers) {
        canonicalHeaders += QString::fromUtf8(name) + u':' + trimmedForSigning(value) + u'\n';
        names.append(QString::fromUtf8(name));
    }
    out.signedHeaders = names.join(u';');

    out.canonicalRequest = QStringList{QString::fromLatin1(input.method), input.path, QString(), canonicalHeaders,
                                       out.signedHeaders, out.payloadHash}
                               .join(u'\n');
    const QString scope = dateStamp + u'/' + input.region + QStringLiteral("/s3/aws4_request");
    out.stringToSign = QStringList{QStringLiteral("AWS4-HMAC-SHA256"), out.amzDate, scope,
                                   sha256Hex(out.canonicalRequest.toUtf8())}
                           .join(u'\n');

    const QByteArray kDate = hmac("AWS4" + input.secretAccessKey.toUtf8(), dateStamp.toUtf8());
    const QByteArray kRegion = hmac(kDate, input.region.toUtf8());
    const QByteArray kService = hmac(kRegion, "s3");
    const QByteArray kSigning = hmac(kService, "aws4_request");
    out.signature = QString::fromLatin1(hmac(kSigning, out.stringToSign.toUtf8()).toHex());

    out.authorization = QStringLiteral("AWS4-HMAC-SHA256 Credential=") + input.accessKeyId + u'/' + scope
        + QStringLiteral(", SignedHeaders=") + out.signedHeaders + QStringLiteral(", Signature=") + out.signature;
    return out;
}

} // namespace pelorin
