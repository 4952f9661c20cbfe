// Owner of posix_spawn's file actions: destroyed on every path out of the
// code that starts a child process.
#pragma once

#include <spawn.h>

struct TzxSpawnActions {
  posix_spawn_file_actions_t Actions;
  TzxSpawnActions() { posix_spawn_file_actions_init(&Actions); }
  ~TzxSpawnActions() { posix_spawn_file_actions_destroy(&Actions); }
  TzxSpawnActions(const TzxSpawnActions &) = delete;
  TzxSpawnActions &operator=(const TzxSpawnActions &) = delete;
};
