#pragma once

#include "TestSupport.h"
#include "net/ServiceError.h"

#include <QCoro/QCoroTask>

#include <exception>
#include <memory>
#include <optional>
#include <ostream>
#include <type_traits>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace pelorin::test {

// How a service task ended: its value, or the error it threw. (QCoro::waitFor never returns
// when the task throws.)
template<typename T>
struct Outcome {
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
    std::exception_ptr exception;
    QString error; // description() of a ServiceError, what() of anything else
    bool finished = false;

    bool succeeded() const { return finished && !exception; }
    // The error thrown, when it is an E. `exception` keeps it alive: rethrowing copies nothing.
    template<typename E>
    const E* errorAs() const
    {
        try {
            if (exception)
                std::rethrow_exception(exception);
        } catch (const E& e) {
            return &e;
        } catch (...) {
        }
        return nullptr;
    }
};

template<typename T>
Outcome<T> outcome(QCoro::Task<T> task, int timeoutMs = 30'000)
{
    // Shared with the task, which may outlive a wait that timed out.
    auto out = std::make_shared<Outcome<T>>();
    [](QCoro::Task<T> t, std::shared_ptr<Outcome<T>> o) -> QCoro::Task<void> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(t);
                o->value = true;
            } else {
                o->value = co_await std::move(t);
            }
        } catch (const std::exception& e) {
            o->exception = std::current_exception();
            const auto* service = dynamic_cast<const ServiceError*>(&e);
            o->error = service ? service->description() : QString::fromUtf8(e.what());
        }
        o->finished = true;
    }(std::move(task), out);
    waitUntil([&] { return out->finished; }, timeoutMs);
    return *out;
}

} // namespace pelorin::test
