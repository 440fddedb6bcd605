#include "preview/request_framer.h"

#include <algorithm>
#include <cctype>

namespace qp::preview {
namespace {

constexpr std::size_t kMaxChunkSizeLine = 1024;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The line that starts at pos without its line end, or false while it has not ended.
bool NextLine(const std::string& bytes, std::size_t pos, std::string& line, std::size_t& next) {
    const std::size_t lf = bytes.find('\n', pos);
    if (lf == std::string::npos) return false;
    line.assign(bytes, pos, lf - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    next = lf + 1;
    return true;
}

}  // namespace

TRequestFramer::State TRequestFramer::Refuse(int status, std::string reason) {
    refusalStatus_ = status;
    refusalReason_ = std::move(reason);
    return state_ = State::Refused;
}

TRequestFramer::State TRequestFramer::Scan(const std::string& bytes) {
    if (state_ == State::Head) ScanHead(bytes);
    if (state_ == State::Body && chunked_) ScanChunks(bytes);
    if (state_ == State::Body && !chunked_ && bytes.size() >= pos_ + contentLength_) {
        end_ = pos_ + contentLength_;
        state_ = State::Complete;
    }
    return state_;
}

TRequestFramer::State TRequestFramer::ScanHead(const std::string& bytes) {
    std::string line;
    std::size_t next = 0;
    while (state_ == State::Head) {
        if (!NextLine(bytes, pos_, line, next)) {
            if (headBytes_ + (bytes.size() - pos_) > limits_.MaxHeadBytes) {
                return Refuse(431, "ヘッダーが大きすぎます。");
            }
            return state_;
        }
        headBytes_ += next - pos_;
        pos_ = next;
        if (headBytes_ > limits_.MaxHeadBytes) return Refuse(431, "ヘッダーが大きすぎます。");
        if (requestLine_.empty()) {
            if (line.empty()) return Refuse(400, "リクエスト行がありません。");
            requestLine_ = line;
        } else if (line.empty()) {
            EndOfHead();
        } else {
            HeaderLine(line);
        }
    }
    return state_;
}

TRequestFramer::State TRequestFramer::HeaderLine(const std::string& line) {
    if (++headerCount_ > limits_.MaxHeaderCount) return Refuse(431, "ヘッダーの数が多すぎます。");
    if (line[0] == ' ' || line[0] == '\t') return Refuse(400, "折り返されたヘッダーには対応していません。");
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return Refuse(400, "ヘッダーの形式が正しくありません。");
    const std::string name = Lower(line.substr(0, colon));
    const std::string value = Trim(line.substr(colon + 1));
    if (name == "content-length") {
        if (value.empty() || value.size() > 18 ||
            !std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); })) {
            return Refuse(400, "Content-Length が正しくありません。");
        }
        const std::size_t length = std::stoull(value);
        if (hasLength_ && length != contentLength_) return Refuse(400, "Content-Length が複数あります。");
        hasLength_ = true;
        contentLength_ = length;
    } else if (name == "transfer-encoding") {
        if (Lower(value) != "chunked" || chunked_)
            return Refuse(501, "この転送方式には対応していません: " + value);
        chunked_ = true;
    } else if (name == "expect") {
        expectContinue_ = Lower(value) == "100-continue";
    }
    return state_;
}

TRequestFramer::State TRequestFramer::EndOfHead() {
    // Both lengths at once is how one request is smuggled inside another.
    if (chunked_ && hasLength_) return Refuse(400, "Content-Length と Transfer-Encoding が両方あります。");
    if (contentLength_ > limits_.MaxBodyBytes) return Refuse(413, "本文が大きすぎます。");
    if (!chunked_ && contentLength_ == 0) {
        end_ = pos_;
        return state_ = State::Complete;
    }
    return state_ = State::Body;
}

TRequestFramer::State TRequestFramer::ScanChunks(const std::string& bytes) {
    std::string line;
    std::size_t next = 0;
    while (state_ == State::Body) {
        if (chunk_ == Chunk::Data) {
            if (bytes.size() < pos_ + chunkLeft_ + 2) return state_;
            if (bytes.compare(pos_ + chunkLeft_, 2, "\r\n") != 0) {
                return Refuse(400, "チャンクの区切りが正しくありません。");
            }
            pos_ += chunkLeft_ + 2;
            chunk_ = Chunk::Size;
            continue;
        }
        // A line is held to the limit whether it came whole or in pieces, so that how the
        // bytes were split can never decide the verdict.
        const bool ended = NextLine(bytes, pos_, line, next);
        const std::size_t length = (ended ? next - 1 : bytes.size()) - pos_;
        if (length > kMaxChunkSizeLine) return Refuse(400, "チャンクの長さの行が長すぎます。");
        if (!ended) return state_;
        pos_ = next;
        if (chunk_ == Chunk::Trailer) {
            // The HTTP side reads no trailer fields; better refused than half understood.
            if (!line.empty()) return Refuse(400, "チャンクのトレーラーには対応していません。");
            end_ = pos_;
            return state_ = State::Complete;
        }
        const std::string digits = line.substr(0, line.find_first_of("; \t"));
        if (digits.empty() || digits.size() > 15 ||
            !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); })) {
            return Refuse(400, "チャンクの長さが正しくありません。");
        }
        chunkLeft_ = std::stoull(digits, nullptr, 16);
        if (chunkLeft_ > limits_.MaxBodyBytes - bodyBytes_) return Refuse(413, "本文が大きすぎます。");
        bodyBytes_ += chunkLeft_;
        chunk_ = chunkLeft_ == 0 ? Chunk::Trailer : Chunk::Data;
    }
    return state_;
}

}  // namespace qp::preview
