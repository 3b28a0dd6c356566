// Runs a command inside a latency lab, for trying the program by hand against hosts with known
// delays: latmo-lab-run DELAY_MS[:DROP] ... -- COMMAND [ARGS...]
// Each DELAY_MS (optionally with a drop fraction, e.g. 80:0.25, or "unreach") becomes one lab
// host; their addresses are printed; the command runs in the lab's client namespace; the lab
// is removed when the command ends.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lab/LatencyLab.h"

int main(int argc, char** argv) {
    std::vector<TLabHostOptions> hosts;
    int i = 1;
    for (; i < argc && std::string(argv[i]) != "--"; ++i) {
        const std::string spec = argv[i];
        TLabHostOptions options;
        if (spec == "unreach") {
            options.ErrorType = 3;
            options.ErrorCode = 1;
        } else {
            const auto colon = spec.find(':');
            options.DelayUs = std::atoi(spec.substr(0, colon).c_str()) * 1000;
            if (colon != std::string::npos) {
                options.DropFraction = std::atof(spec.substr(colon + 1).c_str());
            }
        }
        hosts.push_back(options);
    }
    if (hosts.empty() || i + 1 >= argc) {
        std::fprintf(stderr,
                     "usage: latmo-lab-run DELAY_MS[:DROP]|unreach ... -- COMMAND [ARGS...]\n");
        return 2;
    }
    const std::string why = TLatencyLab::Unavailable();
    if (!why.empty()) {
        std::fprintf(stderr, "latmo-lab-run: %s\n", why.c_str());
        return 1;
    }
    TLatencyLab lab;
    for (size_t h = 0; h < hosts.size(); ++h) {
        std::printf("host %zu: %s\n", h + 1, lab.AddHost(hosts[h]).c_str());
    }
    std::fflush(stdout);
    int status = 0;
    {
        const auto inClient = lab.EnterClient();
        const pid_t child = fork();
        if (child == 0) {
            execvp(argv[i + 1], argv + i + 1);
            std::perror(argv[i + 1]);
            _exit(127);
        }
        while (child > 0 && waitpid(child, &status, 0) < 0) {
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
