// Test support: the POSIX backend with a run log whose write number
// failAtWrite (0-based, counted over the whole platform's life) fails, and
// every later write too, as a full disk would.
#pragma once

#include <memory>
#include <string>

#include "platform/posix/PosixPlatform.h"

namespace yrn::test {

class FailingLogPlatform : public PosixPlatform {
public:
    FailingLogPlatform(const std::string& root, int failAtWrite) : PosixPlatform(root), failAt_(failAtWrite) {}

    std::unique_ptr<TextFile> OpenAppend(const std::string& path) override {
        std::unique_ptr<TextFile> inner = PosixPlatform::OpenAppend(path);
        if (!inner) return nullptr;
        return std::make_unique<File>(std::move(inner), *this);
    }
    int writes = 0;

private:
    class File : public TextFile {
    public:
        File(std::unique_ptr<TextFile> inner, FailingLogPlatform& owner) : inner_(std::move(inner)), owner_(owner) {}
        bool Write(const std::string& bytes) override {
            if (owner_.writes++ >= owner_.failAt_) return false;
            return inner_->Write(bytes);
        }
        bool Flush() override { return inner_->Flush(); }
        bool Close() override { return inner_->Close(); }

    private:
        std::unique_ptr<TextFile> inner_;
        FailingLogPlatform& owner_;
    };
    int failAt_;
};

}  // namespace yrn::test
