// labels: unit
// Which scene graph the program asks Qt Quick for: the software one wherever OpenGL would be a
// software rasteriser, Qt's own choice on a GPU or when the user chose.
#include "platform/SceneBackend.h"

#include <QTest>

using namespace tavrenhold::platform;

Q_DECLARE_METATYPE(tavrenhold::platform::SceneBackend)

class SceneBackendTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void choice_data()
    {
        QTest::addColumn<bool>("userChose");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<bool>("dri");
        QTest::addColumn<QStringList>("drivers");
        QTest::addColumn<SceneBackend>("backend");
        const QStringList gpu{QStringLiteral("i915")};
        QTest::newRow("a GPU") << false << false << true << gpu << SceneBackend::keep;
        QTest::newRow("a GPU beside a virtual node")
            << false << false << true << QStringList{"vgem", "amdgpu"} << SceneBackend::keep;
        QTest::newRow("no render node") << false << false << true << QStringList{} << SceneBackend::software;
        QTest::newRow("only virtual nodes") << false << false << true << QStringList{"vkms", "simpledrm"}
                                            << SceneBackend::software;
        QTest::newRow("a node without a driver") << false << false << true << QStringList{""} << SceneBackend::software;
        QTest::newRow("a server without direct rendering (Xvfb)") << false << false << false << gpu
                                                                  << SceneBackend::software;
        QTest::newRow("software GL forced") << false << true << true << gpu << SceneBackend::software;
        QTest::newRow("the user chose") << true << true << false << QStringList{} << SceneBackend::keep;
    }
    void choice()
    {
        QFETCH(bool, userChose);
        QFETCH(bool, forced);
        QFETCH(bool, dri);
        QFETCH(QStringList, drivers);
        QFETCH(SceneBackend, backend);
        QCOMPARE(chooseSceneBackend(GraphicsFacts{userChose, forced, dri, drivers}), backend);
    }

    void probingAMissingDisplayGivesNothing()
    {
        QCOMPARE(probeDisplay(QByteArray()), std::nullopt);
        QCOMPARE(probeDisplay(QByteArrayLiteral(":32767")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(SceneBackendTest)
#include "tst_scenebackend.moc"
