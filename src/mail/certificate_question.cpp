#include "mail/certificate_question.h"

#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "core/app_state.h"

namespace velmio {
namespace {

QString Names(const QStringList& parts) { return parts.isEmpty() ? QStringLiteral("（なし）") : parts.join(", "); }

QString When(const QDateTime& t) { return t.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm")); }

}  // namespace

QString FingerprintGroups(const QByteArray& digest) {
    const QString hex = QString::fromLatin1(digest.toHex());
    QString out;
    for (qsizetype i = 0; i < hex.size(); i += 4) {
        if (i > 0) out += (i % 32 == 0) ? QLatin1Char('\n') : QLatin1Char(' ');
        out += hex.mid(i, 4);
    }
    return out;
}

QString CertificateErrorText(const QSslError& error) {
    switch (error.error()) {
    case QSslError::SelfSignedCertificate:
        return QStringLiteral("サーバーが自分で署名した証明書で、認証局の保証がありません");
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
        return QStringLiteral("信頼できる認証局が発行した証明書ではありません");
    case QSslError::HostNameMismatch:
        return QStringLiteral("証明書の名前が接続先のサーバー名と合いません");
    case QSslError::CertificateExpired:
        return QStringLiteral("証明書の有効期限が切れています");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("証明書の有効期間がまだ始まっていません");
    case QSslError::CertificateRevoked:
        return QStringLiteral("証明書は取り消されています");
    case QSslError::CertificateSignatureFailed:
        return QStringLiteral("証明書の署名が正しくありません");
    default:
        return error.errorString();
    }
}

CertificateQuestion::CertificateQuestion(const QString& host, quint16 port, const QSslCertificate& certificate,
                                         const QList<QSslError>& errors, bool changed, QWidget* parent)
    : box_(std::make_unique<QMessageBox>(parent)) {
    box_->setObjectName(QStringLiteral("CertificateQuestion"));
    box_->setWindowTitle(kAppTitle);
    box_->setIcon(QMessageBox::Warning);
    QString text;
    if (changed) {
        text = QStringLiteral("このサーバーの証明書は、前に信頼したときのものから変わっています。"
                              "誰かが通信を盗み見ようとしている可能性があります。\n\n");
    }
    box_->setText(text + QStringLiteral("この証明書を信頼しますか？"));
    QStringList reasons;
    for (const QSslError& e : errors) {
        const QString line = QStringLiteral("・") + CertificateErrorText(e);
        if (!reasons.contains(line)) reasons << line;
    }
    QStringList details;
    details << QStringLiteral("サーバー: %1 (ポート %2)").arg(host).arg(port);
    details << QStringLiteral("確かめられなかった理由:") << reasons;
    details << QStringLiteral("発行先: ") + Names(certificate.subjectInfo(QSslCertificate::CommonName) +
                                                  certificate.subjectInfo(QSslCertificate::Organization));
    details << QStringLiteral("発行者: ") + Names(certificate.issuerInfo(QSslCertificate::CommonName) +
                                                  certificate.issuerInfo(QSslCertificate::Organization));
    details << QStringLiteral("有効期間: %1 から %2 まで").arg(When(certificate.effectiveDate()), When(certificate.expiryDate()));
    details << QStringLiteral("SHA-256 フィンガープリント:")
            << FingerprintGroups(certificate.digest(QCryptographicHash::Sha256));
    box_->setInformativeText(details.join(QLatin1Char('\n')));
    trust_ = box_->addButton(QStringLiteral("信頼する"), QMessageBox::AcceptRole);
    QPushButton* cancel = box_->addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    box_->setDefaultButton(cancel);
    box_->setEscapeButton(cancel);
}

CertificateQuestion::~CertificateQuestion() = default;

bool CertificateQuestion::Trusted() const { return box_->clickedButton() == trust_; }

}  // namespace velmio
