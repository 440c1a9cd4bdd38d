#include "ui/AnalysisProviderChoice.h"

#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

namespace pelorin {

AnalysisProviderChoice::AnalysisProviderChoice(SettingsStore& settings, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("Analyze with:"), this));
    m_box = new QComboBox(this);
    m_box->addItem(QStringLiteral("This computer"), QStringLiteral("device"));
    m_box->addItem(QStringLiteral("Pelorin Cloud"), QStringLiteral("cloud"));
    row->addWidget(m_box);
    row->addStretch(1);

    const QString key = QLatin1String(SettingsKeys::analysisProvider);
    const auto show = [this, key] {
        const int index = m_box->findData(m_settings.stringValue(key, QStringLiteral("device")));
        m_box->setCurrentIndex(index < 0 ? 0 : index);
    };
    show();
    connect(&m_settings, &SettingsStore::changed, this, [show, key](const QString& changed) {
        if (changed == key)
            show();
    });
    connect(m_box, &QComboBox::activated, this,
            [this, key](int index) { m_settings.setValue(key, m_box->itemData(index)); });
}

} // namespace pelorin
