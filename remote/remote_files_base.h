#pragma once
// The settings every remote-files client keeps alike: server and account, trust, cancel
// check, timeouts, log and pump hooks. A client adds its protocol on top.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "remote/remote_files.h"
#include "remote/server_trust.h"

namespace qp {

class TRemoteFilesBase : public TRemoteFiles {
public:
    void SetHost(const std::string& host) override { host_ = host; }
    void SetUserName(const std::string& user) override { user_ = user; }
    void SetPassword(const std::string& password) override { password_ = password; }
    TServerTrust& Trust() override { return trust_; }
    const TServerTrust& Trust() const override { return trust_; }
    // Asked while connecting and logging in; true gives up the connection.
    void SetCancelCheck(std::function<bool()> cancel) override { cancel_ = std::move(cancel); }
    void SetConnectTimeout(std::chrono::milliseconds t) override { connectTimeout_ = t; }
    // Each single wait for the server.
    void SetReplyTimeout(std::chrono::milliseconds t) override { replyTimeout_ = t; }
    // Each whole operation (connect-and-login, one request, one listing) ends within this, so
    // that a server that keeps answering a little cannot hold the caller. A transfer gets
    // this plus its size at the minimum rate.
    void SetOperationTimeout(std::chrono::milliseconds t) override { operationTimeout_ = t; }
    void SetMinTransferRate(std::int64_t bytesPerSecond) override { minTransferRate_ = bytesPerSecond; }
    void SetLogHook(LogHook hook) override { logHook_ = std::move(hook); }
    void SetLogEnabled(bool on) override { logEnabled_ = on; }
    bool LogEnabled() const override { return logEnabled_; }
    void SetPump(PumpHook pump) override { pump_ = std::move(pump); }

    // "YYYY/MM/DD HH:MM:SS" in local time, the stamp of every traffic line in the logs.
    static std::string LogTimeStamp();

protected:
    std::string host_;
    std::string user_;
    std::string password_;
    TServerTrust trust_;
    std::function<bool()> cancel_;
    std::chrono::milliseconds connectTimeout_{30000};
    std::chrono::milliseconds replyTimeout_{30000};
    std::chrono::milliseconds operationTimeout_{120000};
    std::int64_t minTransferRate_ = 16 * 1024;
    LogHook logHook_;
    bool logEnabled_ = false;
    PumpHook pump_;
};

}  // namespace qp
