#pragma once

#include <QByteArray>
#include <QStringList>

#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>

#include <vector>

extern char **environ;

namespace bench {

// Starts a program (looked up on PATH) with its output discarded; -1 when it cannot start.
// The caller reaps it with wait4 to read its own peak memory.
inline pid_t spawnQuiet(const QStringList &command)
{
    std::vector<QByteArray> args;
    for (const auto &a : command)
        args.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// ffmpeg's arguments for the benchmarks' shared source: `minutes` of stereo 48 kHz AAC in MP4,
// a tone mixed with noise. The benchmarks keep it in their work folder under one name, so they
// must all make it alike.
inline QStringList toneAndNoiseSourceArguments(const QString &path, int minutes)
{
    const QString seconds = QString::number(minutes * 60);
    return {"-y",
            "-f",
            "lavfi",
            "-i",
            "sine=frequency=440:sample_rate=48000:duration=" + seconds,
            "-f",
            "lavfi",
            "-i",
            "anoisesrc=r=48000:a=0.2:d=" + seconds,
            "-filter_complex",
            "[0:a][1:a]amix=inputs=2,aformat=channel_layouts=stereo",
            "-c:a",
            "aac",
            "-b:a",
            "192k",
            path};
}

} // namespace bench
