#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <memory>

class QAbstractButton;
class QMessageBox;
class QWidget;

namespace velmio {

// A SHA-256 digest as lowercase hex in groups of four, eight groups a line,
// so that it can be read aloud and compared.
QString FingerprintGroups(const QByteArray& digest);

// Why the check failed, in words.
QString CertificateErrorText(const QSslError& error);

// The question asked when a server's certificate fails the check and is not
// the trusted one: "信頼する" or "キャンセル", Cancel the default. changed says
// that another certificate was trusted for this server before.
class CertificateQuestion {
public:
    CertificateQuestion(const QString& host, quint16 port, const QSslCertificate& certificate,
                        const QList<QSslError>& errors, bool changed, QWidget* parent = nullptr);
    ~CertificateQuestion();

    QMessageBox& box() { return *box_; }
    // After the box was closed: the user chose to trust the certificate.
    bool Trusted() const;

private:
    std::unique_ptr<QMessageBox> box_;
    QAbstractButton* trust_ = nullptr;
};

}  // namespace velmio
