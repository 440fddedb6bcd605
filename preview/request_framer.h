#pragma once
// Finds where one HTTP/1.1 request ends in the bytes read so far and holds it to the preview's
// limits, so that a request reaches the CGI only whole, and one that is too large is refused
// before it is buffered. The bytes stay with the caller; this keeps only the place.
#include <cstddef>
#include <string>

namespace qp::preview {

struct TRequestLimits {
    std::size_t MaxHeadBytes = 16 * 1024;  // request line and headers together
    std::size_t MaxHeaderCount = 64;
    std::size_t MaxBodyBytes = 1024 * 1024;  // the body, after chunked decoding
};

class TRequestFramer {
public:
    enum class State { Head, Body, Complete, Refused };

    explicit TRequestFramer(TRequestLimits limits) : limits_(limits) {}

    // bytes: everything read from the connection so far (it only grows between calls).
    State Scan(const std::string& bytes);

    State Current() const { return state_; }
    bool HeadDone() const { return state_ != State::Head && state_ != State::Refused; }
    // The client waits for "100 Continue" before it sends the body.
    bool ExpectsContinue() const { return expectContinue_; }
    std::size_t End() const { return end_; }  // the request's length once Complete
    const std::string& RequestLine() const { return requestLine_; }
    int RefusalStatus() const { return refusalStatus_; }  // 400, 413, 431 or 501
    const std::string& RefusalReason() const { return refusalReason_; }

private:
    enum class Chunk { Size, Data, Trailer };

    State Refuse(int status, std::string reason);
    State ScanHead(const std::string& bytes);
    State ScanChunks(const std::string& bytes);
    State HeaderLine(const std::string& line);
    State EndOfHead();

    TRequestLimits limits_;
    State state_ = State::Head;
    std::size_t pos_ = 0;  // bytes looked at
    std::size_t headBytes_ = 0;
    std::size_t headerCount_ = 0;
    std::string requestLine_;
    bool expectContinue_ = false;
    bool chunked_ = false;
    bool hasLength_ = false;
    std::size_t contentLength_ = 0;
    Chunk chunk_ = Chunk::Size;
    std::size_t chunkLeft_ = 0;  // data bytes of the current chunk still to come
    std::size_t bodyBytes_ = 0;
    std::size_t end_ = 0;
    int refusalStatus_ = 0;
    std::string refusalReason_;
};

}  // namespace qp::preview
