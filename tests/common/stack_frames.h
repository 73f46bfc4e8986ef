// A thread's stack, walked and written without allocating: from inside an allocation function, for
// the allocation it fails, and from a crash's signal handler. One line a frame,
// `OBJECT(+0xOFFSET) NAME`: the file that holds the frame's code, the offset there as addr2line
// takes it, and the exported function the frame lies in, when it lies in one.
#pragma once

#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <unistd.h>
#include <unwind.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "tests/common/sanitized.h"

namespace stackframes {

constexpr int kMaxFrames = 48;

struct Stack
{
    std::uintptr_t pc[kMaxFrames] = {}; // innermost first
    int depth = 0;
    int interrupted = -1; // the first frame a signal interrupted; -1 when none
};

// One line of text, built in place and written whole.
class Line
{
public:
    NORRIK_TEST_UNINSTRUMENTED Line& add(const char* s)
    {
        while (s && *s && size_ < sizeof text_)
            text_[size_++] = *s++;
        return *this;
    }
    NORRIK_TEST_UNINSTRUMENTED Line& number(std::uintptr_t n, unsigned base = 10)
    {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[n % base];
            n /= base;
        } while (n);
        while (count > 0 && size_ < sizeof text_)
            text_[size_++] = digits[--count];
        return *this;
    }
    NORRIK_TEST_UNINSTRUMENTED void writeTo(int fd) const
    {
        for (std::size_t at = 0; at < size_;) {
            const ssize_t n = write(fd, text_ + at, size_ - at);
            if (n <= 0)
                return;
            at += static_cast<std::size_t>(n);
        }
    }

private:
    char text_[1024];
    std::size_t size_ = 0;
};

NORRIK_TEST_UNINSTRUMENTED inline _Unwind_Reason_Code takeFrame(_Unwind_Context* context, void* to)
{
    auto* stack = static_cast<Stack*>(to);
    int exact = 0;
    const std::uintptr_t ip = _Unwind_GetIPInfo(context, &exact);
    if (ip == 0 || stack->depth == kMaxFrames)
        return _URC_END_OF_STACK;
    if (exact && stack->interrupted < 0)
        stack->interrupted = stack->depth;
    // A return address lies past its call, which may be the function's last instruction.
    stack->pc[stack->depth++] = exact ? ip : ip - 1;
    return _URC_NO_REASON;
}

// The calling thread's stack, from the caller's own frame out.
NORRIK_TEST_UNINSTRUMENTED inline void collect(Stack& stack)
{
    stack.depth = 0;
    stack.interrupted = -1;
    _Unwind_Backtrace(&takeFrame, &stack);
}

// Frames `from` on of `stack`, one line each, to `fd`.
NORRIK_TEST_UNINSTRUMENTED inline void write(int fd, const Stack& stack, int from = 0)
{
    for (int i = from < 0 ? 0 : from; i < stack.depth; ++i) {
        void* at = reinterpret_cast<void*>(stack.pc[i]);
        Dl_info info{}, symbolInfo{};
        link_map* object = nullptr;
        ElfW(Sym)* symbol = nullptr;
        Line line;
        if (!dladdr1(at, &info, reinterpret_cast<void**>(&object), RTLD_DL_LINKMAP) || !object) {
            line.add("?(+0x").number(stack.pc[i], 16).add(")\n").writeTo(fd);
            continue;
        }
        line.add(info.dli_fname && *info.dli_fname ? info.dli_fname : "?")
            .add("(+0x")
            .number(stack.pc[i] - object->l_addr, 16)
            .add(")");
        // The nearest exported name lies before the frame; it is the frame's only when the frame
        // lies within that function.
        if (dladdr1(at, &symbolInfo, reinterpret_cast<void**>(&symbol), RTLD_DL_SYMENT) && symbol &&
            symbolInfo.dli_sname &&
            stack.pc[i] - reinterpret_cast<std::uintptr_t>(symbolInfo.dli_saddr) < symbol->st_size)
            line.add(" ").add(symbolInfo.dli_sname);
        line.add("\n").writeTo(fd);
    }
}

// The crash's stack, from the frame the signal interrupted (what lies within is the handler), under
// "the crash:", to `fd`: for a crash signal's handler.
NORRIK_TEST_UNINSTRUMENTED inline void writeCrash(int fd)
{
    Stack crash;
    collect(crash);
    Line().add("the crash:\n").writeTo(fd);
    write(fd, crash, crash.interrupted);
}

// Has `handler` run once on each signal of a crash, with the signal's default action back on entry:
// the signal ends the process once the handler raises it again.
inline void onCrashSignals(void (*handler)(int))
{
    struct sigaction action
    {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGILL, SIGFPE})
        sigaction(sig, &action, nullptr);
}

} // namespace stackframes
