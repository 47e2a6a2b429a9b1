// A program that publishes like Halvane does and then waits to be killed: the last will can only
// be seen when a publisher vanishes without saying goodbye.
// Usage: mqtt_publisher_probe --mqtt URL --mqtt-topic PREFIX
#include "app/CommandLineUnit.h"
#include "monitor/StatusModelUnit.h"
#include "net/MqttPublisherUnit.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const TCommandLine cl = ParseCommandLine(app.arguments());
    if (!cl.Error.isEmpty() || !cl.Mqtt.Enabled) {
        std::fprintf(stderr, "%s\n", qPrintable(cl.Error));
        return 2;
    }
    TStatusModel status;
    TStatusSnapshot s;
    s.Link = TLinkState::_connected;
    s.TuningStatus = 3;
    s.DeviceDescription = QStringLiteral("QRX-7A probe");
    s.DeviceKind = 111111;
    status.Update(s);
    TMqttPublisher publisher(cl.Mqtt);
    publisher.Attach(&status, nullptr);
    QObject::connect(&publisher, &TMqttPublisher::StateChanged, [](TMqttState state) {
        if (state == TMqttState::_connected) {
            std::printf("connected\n");
            std::fflush(stdout);
        }
    });
    publisher.Start();
    return app.exec();
}
