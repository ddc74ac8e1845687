#include "TesseractThreads.h"

#include <cstdlib>
#include <dlfcn.h>

// Debian's libtesseract opens an OpenMP parallel region at every step of its networks:
// thousands in a paragraph. Spread over threads it ran several times slower on two cores,
// and even with one thread each region costs libgomp a team and a futex wake-up, a system
// call: 15 % of a paragraph's CPU time. The program defines the entry points that
// libtesseract imports, so the dynamic linker binds them here, and runs each region on the
// calling thread as a team of one: omp_get_num_threads() is 1 outside a team, so every
// iteration is done, in order. Recognition uses two threads of its own instead.
//
// A user who sets OMP_THREAD_LIMIT above 1 gets libgomp's teams, as documented.

namespace {

template <typename Function> Function libgompEntry(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool inlineRegions()
{
    static const bool one = [] {
        const char *limit = std::getenv("OMP_THREAD_LIMIT");
        return !limit || std::atoi(limit) <= 1;
    }();
    return one;
}

// The sections of a region run here: GCC's outlined body asks for each section's number in
// turn, then 0.
thread_local bool inSections = false;
thread_local unsigned nextSection = 0;
thread_local unsigned lastSection = 0;

} // namespace

extern "C" {

__attribute__((visibility("default"))) void GOMP_parallel(
    void (*body)(void *), void *data, unsigned threads, unsigned flags)
{
    if (!inlineRegions()) {
        static const auto real
            = libgompEntry<void (*)(void (*)(void *), void *, unsigned, unsigned)>("GOMP_parallel");
        real(body, data, threads, flags);
        return;
    }
    // Sections opened inside belong to libgomp again.
    const bool outerSections = inSections;
    inSections = false;
    body(data);
    inSections = outerSections;
}

__attribute__((visibility("default"))) void GOMP_parallel_sections(
    void (*body)(void *), void *data, unsigned threads, unsigned count, unsigned flags)
{
    if (!inlineRegions()) {
        static const auto real
            = libgompEntry<void (*)(void (*)(void *), void *, unsigned, unsigned, unsigned)>(
                "GOMP_parallel_sections");
        real(body, data, threads, count, flags);
        return;
    }
    const bool outerSections = inSections;
    const unsigned outerNext = nextSection, outerLast = lastSection;
    inSections = true;
    nextSection = 1;
    lastSection = count;
    body(data);
    inSections = outerSections;
    nextSection = outerNext;
    lastSection = outerLast;
}

__attribute__((visibility("default"))) unsigned GOMP_sections_next()
{
    if (!inSections) {
        static const auto real = libgompEntry<unsigned (*)()>("GOMP_sections_next");
        return real();
    }
    return nextSection <= lastSection ? nextSection++ : 0;
}

__attribute__((visibility("default"))) void GOMP_sections_end_nowait()
{
    if (!inSections) {
        static const auto real = libgompEntry<void (*)()>("GOMP_sections_end_nowait");
        real();
    }
}

} // extern "C"

bool tesseractRegionsAreOurs()
{
    return dlsym(RTLD_DEFAULT, "GOMP_parallel") == reinterpret_cast<void *>(&GOMP_parallel);
}
