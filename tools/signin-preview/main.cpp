// signin-preview --vendor <raw> [--shot file.png]
//
// Opens the sign-in window of one vendor (openai, anthropic, google, cursor) on the hosts that
// TAVRENHOLD_USAGE_ENDPOINTS configures, waits for its outcome and prints the names of the captured
// cookies, sorted, one a line (never their values), exit 0; or the error's text, exit 1. With
// --shot, the window is also saved to a PNG file a moment after its first page arrived.

#include "platform/RuntimeFolder.h"
#include "platform/WebSignInProcess.h"
#include "usage/VendorLoginController.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include <cstdio>

using namespace tavrenhold;

namespace {

void say(const QString &line) { std::fprintf(stdout, "%s\n", qPrintable(line)); }

QCoro::Task<> run(UsageVendor vendor, VendorLoginProfile profile, VendorLoginController::Services services)
{
    const auto outcome = co_await VendorLoginController::signIn(vendor, std::move(profile), std::move(services));
    if (!outcome.ok()) {
        say(VendorLoginController::message(outcome.error()));
        QCoreApplication::exit(1);
        co_return;
    }
    for (const QString &name : outcome.value().keys()) // QMap: sorted
        say(name);
    QCoreApplication::exit(0);
}

} // namespace

int main(int argc, char **argv)
{
    tavrenhold::platform::settleRuntimeFolder();
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("vendor"), QStringLiteral("The vendor's raw value."), QStringLiteral("raw")});
    parser.addOption({QStringLiteral("shot"), QStringLiteral("Also save the window to this PNG file."),
                      QStringLiteral("file")});
    parser.addHelpOption();
    parser.process(app);

    const auto vendor = usageVendorFromRaw(parser.value(QStringLiteral("vendor")));
    const auto profile = vendor ? VendorLoginProfile::profile(*vendor) : std::nullopt;
    if (!profile) {
        say(QStringLiteral("No web sign-in for \"%1\".").arg(parser.value(QStringLiteral("vendor"))));
        return 1;
    }

    auto services = VendorLoginController::Services::live();
    QPointer<platform::WebSignInProcess> window;
    services.makeWindow = [&window] {
        auto made = std::make_unique<platform::WebSignInProcess>();
        window = made.get();
        return made;
    };

    const QString shot = parser.value(QStringLiteral("shot"));
    QTimer watch;
    if (!shot.isEmpty()) {
        // Once the first page has an address, give it a moment to draw, then take the window's place
        // on the screen (it opens centred, 520 × 720).
        watch.setInterval(250);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!window || window->address().isEmpty())
                return;
            watch.stop();
            QTimer::singleShot(2500, [&shot] {
                QScreen *screen = QGuiApplication::primaryScreen();
                if (!screen)
                    return;
                const QRect area = screen->availableGeometry();
                const QRect place(area.center() - QPoint(260, 360), QSize(520, 720));
                screen->grabWindow(0, place.x(), place.y(), place.width(), place.height()).save(shot);
            });
        });
        watch.start();
    }

    auto task = run(*vendor, *profile, services);
    Q_UNUSED(task);
    return app.exec();
}
