#pragma once
// What the network status stream is told on the command line: the broker's address, TLS, the
// login and the topic prefix. Parsing only; the publisher reads the result.

#include <QString>

struct TMqttOptions {
    bool Enabled = false; // --mqtt given
    QString Host;
    int Port = 0;
    bool Tls = false;     // mqtts://
    QString CaFile;       // --mqtt-ca: a private certificate authority (TLS only)
    QString User;         // --mqtt-user
    QString Password;     // the first line of --mqtt-password-file
    QString PasswordFile; // where it came from, for messages
    QString TopicPrefix;  // --mqtt-topic; empty: derived from the connected device
};

// "mqtt://host[:port]" (default port 1883) or "mqtts://host[:port]" (TLS, default 8883); IPv6
// hosts in brackets. Nothing else: no user or password in the address, no path, query or
// fragment. False with a reason that names the address.
bool ParseMqttUrl(const QString& url, TMqttOptions& options, QString* error);

// The first line of a password file, without its line end. False with a reason.
bool ReadMqttPasswordFile(const QString& fileName, QString& password, QString* error);

// A topic prefix for publishing: not empty, valid UTF-8, no '+' or '#', no NUL, no empty levels
// at either end. False with a reason.
bool CheckMqttTopicPrefix(const QString& prefix, QString* error);

// "halvane/" + the device description with every character a topic may not carry ('+', '#',
// '/', NUL and other control characters) replaced by '_'; "halvane/unknown" for an empty one.
QString MqttTopicPrefixForDevice(const QString& deviceDescription);
