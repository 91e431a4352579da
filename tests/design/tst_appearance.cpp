// labels: qml
#include "design/Appearance.h"
#include "fakes/FakeSystemAppearance.h"
#include "platform/Defaults.h"

#include <QFile>
#include <QJsonObject>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)

using tavrenhold::Appearance;
using tavrenhold::ColorScheme;
using tavrenhold::MaterialMode;
using tavrenhold::ThemeMode;
using tavrenhold::platform::Defaults;
using tavrenhold::test::FakeSystemAppearance;

namespace {
const QString materialKey = QString::fromLatin1(Appearance::materialKey);
const QString themeKey = QString::fromLatin1(Appearance::themeKey);

// A store in a temporary folder, a hand-driven desktop, and the appearance over both.
struct Fixture {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("defaults.json"));
    Defaults defaults{path};
    FakeSystemAppearance system;

    std::unique_ptr<Appearance> make() { return std::make_unique<Appearance>(defaults, system); }
    QJsonValue stored(const QString &key) const { return Defaults(path).object(key); }
};

// Counts every notification of an appearance.
struct Spies {
    explicit Spies(Appearance &a)
        : material(&a, &Appearance::materialChanged), theme(&a, &Appearance::themeChanged),
          system(&a, &Appearance::systemIsDarkChanged), scheme(&a, &Appearance::panelSchemeChanged)
    {
    }
    QSignalSpy material, theme, system, scheme;
};
} // namespace

class AppearanceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // The QML singleton is the shared instance over the standard store: keep it off the user's files.
        QVERIFY(m_home.isValid());
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            qputenv(name, m_home.filePath(QString::fromLatin1(name)).toLocal8Bit());
    }

    // What a fresh appearance reads from the store; reading writes nothing back.
    void start_data()
    {
        QTest::addColumn<QJsonValue>("material"); // undefined: no key
        QTest::addColumn<QJsonValue>("theme");
        QTest::addColumn<bool>("systemDark");
        QTest::addColumn<MaterialMode>("expectedMaterial");
        QTest::addColumn<ThemeMode>("expectedTheme");
        QTest::addColumn<ColorScheme>("expectedScheme");
        const QJsonValue none(QJsonValue::Undefined);
        QTest::newRow("fresh install, light desktop") << none << none << false << MaterialMode::liquidGlass
                                                      << ThemeMode::automatic << ColorScheme::light;
        QTest::newRow("fresh install, dark desktop") << none << none << true << MaterialMode::liquidGlass
                                                     << ThemeMode::automatic << ColorScheme::dark;
        QTest::newRow("stored choices") << QJsonValue("solid") << QJsonValue("light") << true << MaterialMode::solid
                                        << ThemeMode::light << ColorScheme::light;
        QTest::newRow("gradient, dark") << QJsonValue("gradient") << QJsonValue("dark") << false
                                        << MaterialMode::gradient << ThemeMode::dark << ColorScheme::dark;
        QTest::newRow("capitalised texts") << QJsonValue("Gradient") << QJsonValue("Dark") << false
                                           << MaterialMode::liquidGlass << ThemeMode::automatic << ColorScheme::light;
        QTest::newRow("unknown texts") << QJsonValue("glass") << QJsonValue("automatic") << true
                                       << MaterialMode::liquidGlass << ThemeMode::automatic << ColorScheme::dark;
        QTest::newRow("not texts") << QJsonValue(1) << QJsonValue(true) << false << MaterialMode::liquidGlass
                                   << ThemeMode::automatic << ColorScheme::light;
    }
    void start()
    {
        QFETCH(QJsonValue, material);
        QFETCH(QJsonValue, theme);
        QFETCH(bool, systemDark);
        Fixture f;
        if (!material.isUndefined())
            f.defaults.set(materialKey, material);
        if (!theme.isUndefined())
            f.defaults.set(themeKey, theme);
        f.system.setDark(systemDark);
        QFile file(f.path);
        const QByteArray before = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        file.close();

        auto appearance = f.make();
        QTEST(appearance->material(), "expectedMaterial");
        QTEST(appearance->theme(), "expectedTheme");
        QTEST(appearance->panelScheme(), "expectedScheme");
        QCOMPARE(appearance->systemIsDark(), systemDark);

        // The stored texts stay as they were until the first assignment.
        QCOMPARE(QFile::exists(f.path), !before.isEmpty());
        if (file.open(QIODevice::ReadOnly))
            QCOMPARE(file.readAll(), before);
        QCOMPARE(f.stored(materialKey), material);
        appearance->setMaterial(MaterialMode::gradient);
        QCOMPARE(f.stored(materialKey), QJsonValue("gradient"));
        QCOMPARE(f.stored(themeKey), theme);
    }

    // Every write stores the text, also of an equal value; only a change notifies.
    void writesPersistEvenWhenEqual()
    {
        Fixture f;
        auto appearance = f.make();
        Spies spies(*appearance);

        appearance->setTheme(ThemeMode::light);
        QCOMPARE(f.stored(themeKey), QJsonValue("light"));
        f.defaults.remove(themeKey);
        appearance->setTheme(ThemeMode::light);
        QCOMPARE(f.stored(themeKey), QJsonValue("light"));
        QCOMPARE(spies.theme.count(), 1);
        QCOMPARE(spies.scheme.count(), 0); // auto on a light desktop was light already

        appearance->setMaterial(MaterialMode::liquidGlass);
        QCOMPARE(f.stored(materialKey), QJsonValue("liquidGlass"));
        QCOMPARE(spies.material.count(), 0);
        appearance->setMaterial(MaterialMode::solid);
        appearance->setMaterial(MaterialMode::solid);
        QCOMPARE(spies.material.count(), 1);
        QCOMPARE(f.stored(materialKey), QJsonValue("solid"));

        // A reopened store gives the same choices back.
        Defaults reopened(f.path);
        FakeSystemAppearance system;
        Appearance again(reopened, system);
        QCOMPARE(again.material(), MaterialMode::solid);
        QCOMPARE(again.theme(), ThemeMode::light);
    }

    // panelScheme notifies only when the scheme itself changes.
    void panelScheme_data()
    {
        QTest::addColumn<ThemeMode>("theme");
        QTest::addColumn<bool>("systemDark");
        QTest::addColumn<ThemeMode>("newTheme");  // applied first
        QTest::addColumn<bool>("newSystemDark");  // then the desktop changes
        QTest::addColumn<ColorScheme>("expected");
        QTest::addColumn<int>("schemeNotifications");
        QTest::newRow("auto follows the desktop into dark")
            << ThemeMode::automatic << false << ThemeMode::automatic << true << ColorScheme::dark << 1;
        QTest::newRow("auto follows the desktop into light")
            << ThemeMode::automatic << true << ThemeMode::automatic << false << ColorScheme::light << 1;
        QTest::newRow("light stays light") << ThemeMode::light << false << ThemeMode::light << true << ColorScheme::light << 0;
        QTest::newRow("dark stays dark") << ThemeMode::dark << true << ThemeMode::dark << false << ColorScheme::dark << 0;
        QTest::newRow("auto to dark on a dark desktop")
            << ThemeMode::automatic << true << ThemeMode::dark << true << ColorScheme::dark << 0;
        QTest::newRow("light to auto on a dark desktop")
            << ThemeMode::light << true << ThemeMode::automatic << true << ColorScheme::dark << 1;
        QTest::newRow("dark to light, desktop turns dark")
            << ThemeMode::dark << false << ThemeMode::light << true << ColorScheme::light << 1;
        QTest::newRow("light to auto, then the desktop turns light again")
            << ThemeMode::light << true << ThemeMode::automatic << false << ColorScheme::light << 2;
    }
    void panelScheme()
    {
        QFETCH(ThemeMode, theme);
        QFETCH(bool, systemDark);
        QFETCH(ThemeMode, newTheme);
        QFETCH(bool, newSystemDark);
        Fixture f;
        f.defaults.set(themeKey, tavrenhold::rawValue(theme));
        f.system.setDark(systemDark);
        auto appearance = f.make();
        Spies spies(*appearance);

        appearance->setTheme(newTheme);
        f.system.setDark(newSystemDark);
        QTEST(appearance->panelScheme(), "expected");
        QTEST(int(spies.scheme.count()), "schemeNotifications");
        QCOMPARE(appearance->systemIsDark(), newSystemDark);
        QCOMPARE(spies.system.count(), systemDark != newSystemDark ? 1 : 0);
    }

    void texts_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("material"); // -1: not a material
        QTest::addColumn<int>("theme");    // -1: not a theme
        QTest::newRow("liquidGlass") << "liquidGlass" << "Liquid Glass" << int(MaterialMode::liquidGlass) << -1;
        QTest::newRow("gradient") << "gradient" << "Gradient" << int(MaterialMode::gradient) << -1;
        QTest::newRow("solid") << "solid" << "Solid" << int(MaterialMode::solid) << -1;
        QTest::newRow("auto") << "auto" << "Auto" << -1 << int(ThemeMode::automatic);
        QTest::newRow("light") << "light" << "Light" << -1 << int(ThemeMode::light);
        QTest::newRow("dark") << "dark" << "Dark" << -1 << int(ThemeMode::dark);
        QTest::newRow("title is no stored text") << "Liquid Glass" << QString() << -1 << -1;
        QTest::newRow("case matters") << "Solid" << QString() << -1 << -1;
        QTest::newRow("empty") << "" << QString() << -1 << -1;
    }
    void texts()
    {
        QFETCH(QString, raw);
        QFETCH(QString, title);
        QFETCH(int, material);
        QFETCH(int, theme);
        const auto m = tavrenhold::materialModeFromRaw(raw);
        const auto t = tavrenhold::themeModeFromRaw(raw);
        QCOMPARE(m ? int(*m) : -1, material);
        QCOMPARE(t ? int(*t) : -1, theme);
        if (m) {
            QCOMPARE(tavrenhold::rawValue(*m), raw);
            QCOMPARE(tavrenhold::title(*m), title);
        }
        if (t) {
            QCOMPARE(tavrenhold::rawValue(*t), raw);
            QCOMPARE(tavrenhold::title(*t), title);
        }
    }

    // QML reaches the shared appearance; a number that names no case changes and stores nothing.
    // (Lower-case enumerators are reached in script as MaterialMode.MaterialMode.gradient.)
    void qmlSingleton()
    {
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQml\nimport Tavrenhold.Design\n"
                          "QtObject {\n"
                          "  property int scheme: Appearance.panelScheme\n"
                          "  property int material: Appearance.material\n"
                          "  property string title: Appearance.materialTitle(MaterialMode.MaterialMode.gradient)\n"
                          "  function setTheme(t) { Appearance.theme = t }\n"
                          "  function setMaterial(m) { Appearance.material = m }\n"
                          "  function darkTheme() { return ThemeMode.ThemeMode.dark }\n"
                          "}",
                          QUrl());
        std::unique_ptr<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));
        Appearance &shared = Appearance::shared();
        QCOMPARE(object->property("title").toString(), QStringLiteral("Gradient"));

        QVariant dark;
        QMetaObject::invokeMethod(object.get(), "darkTheme", Q_RETURN_ARG(QVariant, dark));
        QMetaObject::invokeMethod(object.get(), "setTheme", Q_ARG(QVariant, dark));
        QCOMPARE(shared.theme(), ThemeMode::dark);
        QCOMPARE(object->property("scheme").toInt(), int(ColorScheme::dark));
        QMetaObject::invokeMethod(object.get(), "setTheme", Q_ARG(QVariant, int(ThemeMode::light)));
        QCOMPARE(object->property("scheme").toInt(), int(ColorScheme::light));
        QCOMPARE(Defaults(Defaults::standardPath()).string(themeKey), std::optional<QString>(QStringLiteral("light")));

        QMetaObject::invokeMethod(object.get(), "setMaterial", Q_ARG(QVariant, int(MaterialMode::solid)));
        QCOMPARE(object->property("material").toInt(), int(MaterialMode::solid));
        QMetaObject::invokeMethod(object.get(), "setMaterial", Q_ARG(QVariant, 7));
        QCOMPARE(shared.material(), MaterialMode::solid);
        QCOMPARE(Defaults(Defaults::standardPath()).string(materialKey), std::optional<QString>(QStringLiteral("solid")));
    }

private:
    QTemporaryDir m_home;
};

QTEST_MAIN(AppearanceTest)
#include "tst_appearance.moc"
