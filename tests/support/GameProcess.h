#pragma once
// The real game executable started as a user would, from a run folder of a
// test's own: the sample data linked in and the executable itself linked
// beside it (the game keeps its settings and screenshots beside its
// executable), driven by an input script under the offscreen video driver.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/TempFolder.h"

extern char** environ;

inline std::string GamePath()
{
    if (const char* game = std::getenv("QUILLON_GAME"); game && *game) return game;
    return std::string(QUILLON_RUN_DIR) + "/quillon";
}

class GameProcess {
public:
    // env entries "NAME=value" are added; "-NAME" removes NAME from the
    // test's own environment. The game starts in folder.
    GameProcess(const std::string& executable, const std::string& folder, const std::vector<std::string>& env,
                const std::string& stderrFile)
    {
        std::vector<std::string> vars;
        for (char** e = environ; *e; ++e) vars.emplace_back(*e);
        for (const std::string& v : env) {
            const std::string name = v[0] == '-' ? v.substr(1) : v.substr(0, v.find('=')) ;
            std::erase_if(vars, [&](const std::string& have) { return have.compare(0, name.size() + 1, name + "=") == 0; });
            if (v[0] != '-') vars.push_back(v);
        }
        std::vector<char*> envp;
        for (std::string& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        std::vector<char*> argv = {const_cast<char*>(executable.c_str()), nullptr};

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~GameProcess()
    {
        if (pid_ > 0 && !done_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    GameProcess(const GameProcess&) = delete;
    GameProcess& operator=(const GameProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // The exit code, or -1 when it did not end normally within the time.
    int Wait(std::chrono::seconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                done_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }
    bool Running()
    {
        int status = 0;
        if (done_ || ::waitpid(pid_, &status, WNOHANG) == pid_) {
            done_ = true;
            return false;
        }
        return true;
    }

private:
    pid_t pid_ = -1;
    bool done_ = false;
};

// A scratch run folder: temp/"run" holds links to the sample data and to
// the executable; registry, instance lock and saves stay in temp.
class GameRunFolder {
public:
    GameRunFolder()
    {
        namespace fs = std::filesystem;
        fs::create_directory(run);
        for (const char* data : {"Quillon", "X", "Sound", "data", "pilot"})
            if (fs::exists(std::string(QUILLON_RUN_DIR) + "/" + data))
                fs::create_directory_symlink(std::string(QUILLON_RUN_DIR) + "/" + data, run + "/" + data);
        // A hard link, not a symbolic one: the game finds its folder through
        // the path it was started by, with symbolic links resolved.
        std::error_code error;
        fs::create_hard_link(GamePath(), exe, error);
        if (error) fs::copy_file(GamePath(), exe, error);
        EXPECT_FALSE(error) << error.message();
    }

    std::vector<std::string> Env(const std::string& script) const
    {
        return {"SDL_VIDEODRIVER=offscreen",
                "SDL_AUDIODRIVER=dummy",
                "ALSOFT_DRIVERS=null",
                "QUILLON_QUIET_BOXES=1",
                "QUILLON_INPUT_SCRIPT=" + temp / script,
                "QUILLON_REGISTRY_FILE=" + temp / "registry.ini",
                "QUILLON_INSTANCE_DIR=" + temp.Path(),
                "XDG_DATA_HOME=" + temp / "data",
                "ASAN_OPTIONS=detect_leaks=0"};
    }

    TempFolder temp;
    std::string run = temp / "run";
    std::string exe = run + "/quillon";
};
