#pragma once
// The roots of the object model and the event types shared by every component.

#include <functional>
#include <string>

class TObject {
public:
    virtual ~TObject() = default;
    // The class name the system shows in its messages.
    virtual std::string ClassName() const { return "TObject"; }
};

// Objects whose properties are copied and stored, such as line attributes.
class TPersistent : public TObject {
public:
    std::string ClassName() const override { return "TPersistent"; }
};

// An event is an optional handler, called only when assigned, with the sender first.
using TNotifyEvent = std::function<void(TObject* Sender)>;

// Raised by library components; the message is the system's own text.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const { return FMessage; }
    virtual std::string ClassName() const { return "Exception"; }

private:
    std::string FMessage;
};
