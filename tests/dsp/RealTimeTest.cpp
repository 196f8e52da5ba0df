// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// Once running, a block allocates nothing and makes no system call.
#include "ChainHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
std::atomic<long> Allocations{0};
} // namespace

// Counting replacements of the global allocation functions, for this test program only. They
// pair malloc with free themselves, which GCC cannot see through when inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace corvane::test {
namespace {

TEST(RealTime, ProcessBlockAllocatesNothing) {
    TestChain chain;
    IqSource source(300.0, 5000, 100, 1);
    std::vector<std::vector<std::int16_t>> blocks;
    for (int i = 0; i < 20; ++i) {
        blocks.push_back(source.Block());
    }
    std::vector<std::int16_t> out(BlockSamples);
    chain.Dsp->ProcessBlock(blocks[0], out, 4);
    const long before = Allocations.load();
    for (const auto& block : blocks) {
        chain.Dsp->ProcessBlock(block, out, 16);
    }
    EXPECT_EQ(Allocations.load() - before, 0);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool Sanitized = true; // the sanitizers' own bookkeeping makes system calls
#else
constexpr bool Sanitized = false;
#endif

// Strict seccomp allows only read, write, _exit and sigreturn: any other system call (memory
// mapping, clocks, locks that sleep) kills the child.
TEST(RealTime, ProcessBlockMakesNoSystemCall) {
    if (Sanitized) {
        GTEST_SKIP() << "sanitizer runtimes make their own system calls";
    }
    TestChain chain;
    chain.Settings.Test = TestSignal::IPlusQ;
    IqSource source(-12000.0, 8000, 300, 4);
    std::vector<std::vector<std::int16_t>> blocks;
    for (int i = 0; i < 12; ++i) {
        blocks.push_back(source.Block());
    }
    std::vector<std::int16_t> out(BlockSamples);
    chain.Dsp->ProcessBlock(blocks[0], out, 4);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT) != 0) {
            syscall(SYS_exit, 2);
        }
        for (const auto& block : blocks) {
            chain.Dsp->ProcessBlock(block, out, 4);
        }
        syscall(SYS_exit, 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status))
        << "killed by signal " << WTERMSIG(status) << ": a block made a forbidden system call";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
} // namespace corvane::test
