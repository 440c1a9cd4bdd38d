#pragma once

#include <QString>

#include <optional>

namespace pelorin {

// Where the cloud session's bearer token lives between requests. Reads are immediate so
// that "can an upload be attempted now?" needs no round trip to the keyring.
class TokenStore {
public:
    virtual ~TokenStore() = default;
    // The stored token; nothing when signed out or when the keyring could not be read.
    virtual std::optional<QString> token() const = 0;
    // Replaces the token; nothing deletes it.
    virtual void setToken(const std::optional<QString>& token) = 0;
};

// A token kept in memory only, for tests and for runs without a keyring.
class MemoryTokenStore final : public TokenStore {
public:
    explicit MemoryTokenStore(std::optional<QString> token = std::nullopt)
        : m_token(std::move(token))
    {
    }
    std::optional<QString> token() const override { return m_token; }
    void setToken(const std::optional<QString>& token) override { m_token = token; }

private:
    std::optional<QString> m_token;
};

} // namespace pelorin
