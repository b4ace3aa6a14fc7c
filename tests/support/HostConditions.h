// Conditions a careless or hostile host puts a model under: a process locale
// whose decimal separator is a comma, deeply nested parameter text, and
// calls from a thread with a small stack.
#ifndef TESTS_SUPPORT_HOST_CONDITIONS_H
#define TESTS_SUPPORT_HOST_CONDITIONS_H

#include <pthread.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <functional>
#include <string>

// Switches the process to a locale that writes one half as "0,5" for the
// lifetime of the object, and back to "C" afterwards. When the system has
// no such locale, one is generated with localedef into the build folder.
// Active() tells whether that worked; Problem() says why not.
class CommaDecimalLocale {
public:
    CommaDecimalLocale() {
        if (TrySystemLocales()) return;
        const std::string folder = std::string(TESSEL_BINARY_DIR) + "/test-locales";
        // glibc remembers a locale it failed to find under a LOCPATH, so the
        // folder is named to it only once the locale is there. Tests run in
        // parallel: each process generates into a folder of its own and moves
        // the result into place, so that none reads a half-written one.
        if (access((folder + "/de_DE.UTF-8").c_str(), F_OK) != 0) {
            const std::string own = folder + "/generating-" + std::to_string(getpid());
            const std::string command = "mkdir -p '" + own + "' && localedef -i de_DE -f UTF-8 '" + own +
                                        "/de_DE.UTF-8' >/dev/null 2>&1 && { mv -T '" + own + "/de_DE.UTF-8' '" +
                                        folder + "/de_DE.UTF-8' 2>/dev/null || true; }; status=$?; rm -rf '" +
                                        own + "'; exit $status";
            if (std::system(command.c_str()) != 0) {
                m_problem = "no comma-decimal locale installed and localedef could not generate one";
                return;
            }
        }
        setenv("LOCPATH", folder.c_str(), 1);
        if (!TrySystemLocales()) m_problem = "the generated locale did not load";
    }
    ~CommaDecimalLocale() { std::setlocale(LC_ALL, "C"); }
    CommaDecimalLocale(const CommaDecimalLocale&) = delete;
    CommaDecimalLocale& operator=(const CommaDecimalLocale&) = delete;

    bool Active() const { return m_problem.empty(); }
    const std::string& Problem() const { return m_problem; }

private:
    bool TrySystemLocales() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
            if (std::setlocale(LC_ALL, name) != nullptr && std::localeconv()->decimal_point[0] == ',') {
                m_problem.clear();
                return true;
            }
        }
        std::setlocale(LC_ALL, "C");
        m_problem = "no comma-decimal locale";
        return false;
    }

    std::string m_problem = "not tried";
};

// A parameter string whose `inner` node (say "(r (a 1))") lies under
// levels - 1 enclosing branches with empty names, so that its leaves keep
// their short paths ("r.a") however deep they are.
inline std::string NestedParameterString(size_t levels, const std::string& inner) {
    return std::string(levels - 1, '(') + inner + std::string(levels - 1, ')');
}

// Runs work on a new thread with a stack of the given size, as simulators
// run models in worker threads; false when no such thread could be made.
inline bool RunOnSmallStack(size_t stackBytes, const std::function<void()>& work) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_t thread;
    const bool started = pthread_attr_setstacksize(&attributes, stackBytes) == 0 &&
                         pthread_create(
                             &thread, &attributes,
                             [](void* argument) -> void* {
                                 (*static_cast<const std::function<void()>*>(argument))();
                                 return nullptr;
                             },
                             const_cast<std::function<void()>*>(&work)) == 0;
    pthread_attr_destroy(&attributes);
    return started && pthread_join(thread, nullptr) == 0;
}

#endif
