#pragma once
// What cpp-httplib reads a request from once the gate has it whole: the bytes from memory,
// the answer written to the connection within one overall time limit.
#include <httplib.h>

#include <chrono>
#include <string>

namespace qp::preview {

class TRequestStream : public httplib::Stream {
public:
    // socket stays open; the caller closes it.
    TRequestStream(int socket, std::string request, std::chrono::milliseconds writeTimeout);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return socket_; }

private:
    int socket_;
    std::string request_;
    std::size_t read_ = 0;
    bool wrote_ = false;
    std::chrono::steady_clock::time_point deadline_;
};

}  // namespace qp::preview
