// A toolkit plugin that anyone could name through QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS:
// when loaded it notes in $HOME/plugin-loaded which capabilities the process had. The privilege
// test checks that a program started with a file capability never loads it, and that an ordinary
// start does (so the check can fail).

#include <QGenericPlugin>
#include <fstream>
#include <string>

class TProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "ProbePlugin.json")

public:
    QObject* create(const QString&, const QString&) override {
        const char* home = std::getenv("HOME");
        std::ofstream marker(std::string(home != nullptr ? home : "/tmp") + "/plugin-loaded");
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("Cap", 0) == 0) {
                marker << line << "\n";
            }
        }
        return nullptr;
    }
};

#include "ProbePlugin.moc"
