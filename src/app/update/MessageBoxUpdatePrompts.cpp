#include "app/update/MessageBoxUpdatePrompts.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <QCoro/QCoroSignal>

namespace pelorin {

namespace {

QMessageBox* informationBox(const QString& message, const QString& informativeText)
{
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Pelorin"), message);
    box->setInformativeText(informativeText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

// Modal like an alert, without a nested event loop.
void present(QMessageBox* box)
{
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    box->raise();
    box->activateWindow();
}

} // namespace

QCoro::Task<UpdatePrompts::OfferAnswer> MessageBoxUpdatePrompts::offer(const QString& version, const QString& currentVersion)
{
    QPointer<QMessageBox> box = informationBox(
        QStringLiteral("Pelorin %1 is available").arg(version),
        QStringLiteral("You have %1. Install the update now, or quietly on your next launch?").arg(currentVersion));
    QPushButton* now = box->addButton(QStringLiteral("Update Now"), QMessageBox::AcceptRole);
    QPushButton* nextLaunch = box->addButton(QStringLiteral("On Next Launch"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    box->setDefaultButton(now);
    box->setCheckBox(new QCheckBox(QStringLiteral("Skip this version")));
    present(box);
    co_await qCoro(box.data(), &QDialog::finished);

    OfferAnswer answer;
    if (!box)
        co_return answer;
    answer.skipThisVersion = box->checkBox()->isChecked();
    if (box->clickedButton() == now)
        answer.choice = Choice::updateNow;
    else if (box->clickedButton() == nextLaunch)
        answer.choice = Choice::onNextLaunch;
    co_return answer;
}

void MessageBoxUpdatePrompts::inform(const QString& message, const QString& informativeText)
{
    present(informationBox(message, informativeText));
}

} // namespace pelorin
