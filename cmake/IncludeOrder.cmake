# The folder graph, declared once. Includes point one way: each folder sees
# the folders listed for it and nothing above. A file takes the rule of the
# longest entry its path starts with; includes in quotes are spelled from the
# top of the tree ("psg/psg_chip.h").
#
#   contract  <-  psg  <-  device  <-  config  <-  module
#      ^                     ^      (resources)
#      +------ host ---------+ (host/native_binding only)
set(QUARIX_INCLUDE_RULES
  "contract: contract"
  "psg: contract psg"
  "device: contract psg device"
  "resources: resources"
  "config: contract psg device resources config"
  "module: contract psg device resources config module"
  "host: contract host"
  "host/native_binding: contract device host")

# Headers the build writes (cmake/QuarixRelease.cmake), and who may see them.
set(QUARIX_GENERATED_HEADERS
  "quarix_version.h: host")

# Headers only their own folder includes.
set(QUARIX_PRIVATE_HEADERS
  "psg/psg_render.h: psg")

# <windows.h> and its kin, and the contract header that brings them: only
# these may see them.
set(QUARIX_WIN32_HEADERS windows.h commctrl.h prsht.h mmsystem.h conio.h io.h contract/host_ui.h)
set(QUARIX_WIN32_FOLDERS contract/host_ui.h config module resources host/win32)

# POSIX and PulseAudio headers: only the host's native platform layer.
set(QUARIX_POSIX_HEADERS unistd.h poll.h termios.h sys/ pulse/)
set(QUARIX_POSIX_FOLDERS host/posix)
