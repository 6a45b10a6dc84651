# The compiler and linker flags of a Linux release build, as a Debian package build would use
# them: Debian's optimisation and hardening flags, all hardening (bind now as well), since the
# program talks to USB devices on behalf of the user. Sourced, from the top of the source tree:
# package.sh makes the .deb with them, and test.sh builds the native tests with them, so the
# tests run the very objects the .deb is linked from and the package's build finds them all
# in the compiler cache.
# The build type is Release for NDEBUG only: its -O3 would override Debian's -O2, as a Debian
# package build (build type None) never does.
#   release_flags   CMake arguments: build type and flags
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
release_flags=(
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG
    -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG
    "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
    "-DCMAKE_SHARED_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
)
