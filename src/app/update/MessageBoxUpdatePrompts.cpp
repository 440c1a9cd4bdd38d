#include "app/update/MessageBoxUpdatePrompts.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

#include <QCoro/QCoroSignal>

#include <memory>

namespace pelorin {

namespace {

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

QMessageBox* informationBox(const QString& message, const QString& informativeText)
{
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Pelorin"), message);
    box->setInformativeText(informativeText);
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
    // Kept until the answer is read: the finished signal resumes this coroutine through a
    // queued call, after a close-time deletion would already have happened.
    std::unique_ptr<QMessageBox, DeleteLater> box(informationBox(
        QStringLiteral("Pelorin %1 is available").arg(version),
        QStringLiteral("You have %1. Install the update now, or quietly on your next launch?").arg(currentVersion)));
    QPushButton* now = box->addButton(QStringLiteral("Update Now"), QMessageBox::AcceptRole);
    QPushButton* nextLaunch = box->addButton(QStringLiteral("On Next Launch"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    box->setDefaultButton(now);
    box->setCheckBox(new QCheckBox(QStringLiteral("Skip this version")));
    present(box.get());
    auto finished = qCoro(box.get(), &QDialog::finished);
    co_await finished;

    OfferAnswer answer;
    answer.skipThisVersion = box->checkBox()->isChecked();
    if (box->clickedButton() == now)
        answer.choice = Choice::updateNow;
    else if (box->clickedButton() == nextLaunch)
        answer.choice = Choice::onNextLaunch;
    co_return answer;
}

void MessageBoxUpdatePrompts::inform(const QString& message, const QString& informativeText)
{
    QMessageBox* box = informationBox(message, informativeText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    present(box);
}

} // namespace pelorin
