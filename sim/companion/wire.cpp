#include "companion/wire.h"

#include <algorithm>
#include <cstdint>

#include "companion/codec.h"

namespace zsim::companion {

void RequestReader::feed(const char* data, size_t size) {
    // Drop what was handed out before the buffer grows, so long sessions do not accumulate.
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    buffer_.append(data, size);
}

std::optional<Request> RequestReader::next() {
    if (error_ != Error::None) return std::nullopt;
    if (!waiting_) {
        const size_t from = start_ + scanned_;
        const size_t end = buffer_.find(';', from);
        if (end == std::string::npos) {
            scanned_ = buffer_.size() - start_;
            if (scanned_ > kMaxCommandText) error_ = Error::CommandTooLong;
            return std::nullopt;
        }
        if (end + 1 - start_ > kMaxCommandText) {
            error_ = Error::CommandTooLong;
            return std::nullopt;
        }
        Request request = makeRequest(buffer_.substr(start_, end + 1 - start_));
        start_ = end + 1;
        scanned_ = 0;
        const int64_t size = payloadLength(request);
        if (size < 0) {
            error_ = Error::PayloadTooLarge;
            return std::nullopt;
        }
        if (size == 0) return request;
        waiting_ = std::move(request);
        payloadSize_ = static_cast<size_t>(size);
    }
    if (buffered() < payloadSize_) return std::nullopt;
    waiting_->payload = buffer_.substr(start_, payloadSize_);
    start_ += payloadSize_;
    std::optional<Request> out = std::move(waiting_);
    waiting_.reset();
    return out;
}

std::string frameReply(const std::string& body) {
    std::string out = leInt32(static_cast<int32_t>(body.size()));
    out += body;
    return out;
}

ReplyPlan planReply(const std::string& body, const CompanionFault& fault) {
    using Kind = CompanionFault::Kind;
    ReplyPlan plan;
    plan.delayMs = std::max(0, fault.delayMs);
    switch (fault.kind) {
    case Kind::None: plan.writes.push_back(frameReply(body)); break;
    case Kind::CloseMidBody:
        plan.writes.push_back(leInt32(static_cast<int32_t>(body.size())) + body.substr(0, body.size() / 2));
        plan.after = ReplyPlan::After::Close;
        break;
    case Kind::ShortBody: {
        const size_t announced = body.size() + std::max<size_t>(1, body.size());
        plan.writes.push_back(leInt32(static_cast<int32_t>(announced)) + body);
        plan.after = ReplyPlan::After::Idle;
        break;
    }
    case Kind::Oversize:
        plan.writes.push_back(frameReply(body.empty() ? std::string(8, '\0') : body + body));
        break;
    case Kind::Empty: plan.writes.push_back(frameReply(std::string())); break;
    case Kind::CustomReply: plan.writes.push_back(frameReply(fault.reply)); break;
    case Kind::SplitLength: {
        const std::string framed = frameReply(body);
        plan.writes.push_back(framed.substr(0, 2));
        plan.writes.push_back(framed.substr(2));
        plan.pauseMs = kSplitPauseMs;
        break;
    }
    case Kind::Close: plan.after = ReplyPlan::After::Close; break;
    case Kind::HugeLength: plan.writes.push_back(leInt32(INT32_MAX) + body); break;
    }
    return plan;
}

} // namespace zsim::companion
