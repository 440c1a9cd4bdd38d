#include "TestSupport.h"

#include "platform/SettingsStore.h"
#include "platform/SettingsKeys.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

using namespace pelorin;
using namespace Qt::StringLiterals;

TEST(SettingsStore, ValuesKeepTheirTypesAcrossARestartInOneFlatJsonObject)
{
    test::TempSettings settings;
    // Numbers come back as numbers of either kind.
    const struct { const char* key; QVariant value; bool sameType; } values[] = {
        {"flag", true, true},
        {"whole", 3, false},
        {"fraction", 0.35, true},
        {"text", u"1"_s, true},
        {"bytes", QByteArray("{\"wallpaper\":{}}"), true},
        {"colour", QVariantList{1.0, 0.5, 0, 1}, true},
    };
    for (const auto& v : values)
        settings.store().setValue(QLatin1String(v.key), v.value);
    SettingsStore& reopened = settings.reopen();
    for (const auto& v : values) {
        const QVariant stored = reopened.storedValue(QLatin1String(v.key));
        EXPECT_EQ(stored, v.value) << v.key;
        EXPECT_TRUE(!v.sameType || stored.typeId() == v.value.typeId()) << v.key;
    }

    // Other tools read the file: bytes are base64 in an object of their own, numbers are numbers.
    const QJsonObject file = QJsonDocument::fromJson(test::readBytes(settings.path())).object();
    EXPECT_EQ(file.value(u"bytes"_s).toObject().value(u"base64"_s).toString(), u"eyJ3YWxscGFwZXIiOnt9fQ=="_s);
    EXPECT_TRUE(file.value(u"whole"_s).isDouble());
}

// Defaults apply only while nothing is stored; every write announces its key.
TEST(SettingsStore, RegisteredDefaultsApplyOnlyWhileNothingIsStored)
{
    test::TempSettings settings;
    SettingsStore& store = settings.store();
    const QString json = QLatin1String(SettingsKeys::formatCopiedJSON);
    store.registerDefaults(registeredDefaults());
    EXPECT_EQ(store.stringValue(QLatin1String(SettingsKeys::captureShortcutKey)), u"1"_s);
    EXPECT_EQ(store.value(QLatin1String(SettingsKeys::captureShortcutModifiers)).toInt(), 3);
    EXPECT_TRUE(store.boolValue(json));
    EXPECT_FALSE(store.contains(json));
    EXPECT_FALSE(store.value(QLatin1String(SettingsKeys::uploadDestination)).isValid());

    QSignalSpy spy(&store, &SettingsStore::changed);
    store.setValue(json, false);
    EXPECT_FALSE(store.boolValue(json, true));
    store.remove(json);
    store.remove(json); // nothing stored: no change
    EXPECT_TRUE(store.boolValue(json));
    EXPECT_EQ(spy, (QList<QVariantList>{{json}, {json}}));
}

// A damaged file reads as empty; its bytes are kept aside before the first write replaces it.
TEST(SettingsStore, ADamagedFileIsKeptAsideBeforeTheFirstWrite)
{
    const QByteArray deep = QByteArray(2000, '[') + QByteArray(2000, ']');
    const QList<QByteArray> damaged{"{ \"lastCornerRadius\": 12", QByteArray("\x89PNG\r\n\x1a\n\0\0", 10), "[1, 2]",
                                    "{\"a\": " + deep + "}"};
    for (const QByteArray& contents : damaged) {
        test::TempSettings settings;
        ASSERT_TRUE(test::writeBytes(settings.path(), contents));
        SettingsStore& store = settings.reopen();
        EXPECT_FALSE(store.contains(u"lastCornerRadius"_s));
        store.setValue(u"lastCornerRadius"_s, 30.5);
        store.setValue(u"lastPadding"_s, 40); // a second write keeps no second copy
        EXPECT_DOUBLE_EQ(settings.reopen().doubleValue(u"lastCornerRadius"_s, 18), 30.5);
        const QFileInfoList aside = QFileInfo(settings.path()).dir().entryInfoList({u"Pelorin.unreadable-*.json"_s});
        ASSERT_EQ(aside.size(), 1) << contents.left(20).toStdString();
        EXPECT_EQ(test::readBytes(aside.first().filePath()), contents);
    }
}
