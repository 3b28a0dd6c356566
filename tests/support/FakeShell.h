#pragma once
// A shell that records what it was asked to open instead of opening it. What it "starts" and
// follows keeps running until the test ends it.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/Shell.h"

class TFakeShell : public TShell {
public:
    struct TCall {
        std::string Verb, File, Parameters, Directory;
        TShellShowCommand Show;
    };
    bool ShellExecute(const std::string& verb, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      TShellShowCommand show) override {
        Calls.push_back({verb, file, parameters, directory, show});
        return Result;
    }
    std::unique_ptr<TShellProcess> ShellExecuteEx(const std::string& verb, const std::string& file,
                                                  const std::string& parameters,
                                                  const std::string& directory,
                                                  TShellShowCommand show) override {
        if (!ShellExecute(verb, file, parameters, directory, show)) {
            return nullptr;
        }
        Started.push_back(std::make_shared<std::atomic<bool>>(true));
        return std::make_unique<TProcess>(Started.back());
    }

    std::vector<TCall> Calls;
    bool Result = true;
    // Whether each process ShellExecuteEx started still runs, in the order they were started.
    std::vector<std::shared_ptr<std::atomic<bool>>> Started;

private:
    class TProcess : public TShellProcess {
    public:
        explicit TProcess(std::shared_ptr<std::atomic<bool>> running)
            : FRunning(std::move(running)) {}
        bool Running() override { return FRunning->load(); }

    private:
        std::shared_ptr<std::atomic<bool>> FRunning;
    };
};
