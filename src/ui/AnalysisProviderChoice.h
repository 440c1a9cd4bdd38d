#pragma once

#include <QWidget>

class QComboBox;

namespace pelorin {

class SettingsStore;

// "Analyze with: This computer / Pelorin Cloud", kept under "analysisProvider".
class AnalysisProviderChoice : public QWidget {
    Q_OBJECT
public:
    explicit AnalysisProviderChoice(SettingsStore& settings, QWidget* parent = nullptr);
    QComboBox* box() const { return m_box; }

private:
    SettingsStore& m_settings;
    QComboBox* m_box;
};

} // namespace pelorin
