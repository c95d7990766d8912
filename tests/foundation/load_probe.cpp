// Loads a driver library the way a driver manager does, optionally resolves
// named entry points, then unloads it. Used by the load tests as a child
// process so that each load starts from a fresh process.
//   load_probe LIBRARY [SYMBOL...]
// Exit status: 0 loaded (and every symbol found), 2 load failed, 3 a symbol
// was missing (named on standard error).
#include <dlfcn.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s LIBRARY [SYMBOL...]\n", argv[0]);
        return 1;
    }
    fprintf(stderr, "pid %ld\n", (long)getpid());
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (lib == NULL) {
        fprintf(stderr, "load failed: %s\n", dlerror());
        return 2;
    }
    int missing = 0;
    for (int i = 2; i < argc; i++) {
        if (dlsym(lib, argv[i]) == NULL) {
            fprintf(stderr, "missing %s\n", argv[i]);
            missing++;
        }
    }
    fflush(stdout);
    dlclose(lib);
    return missing == 0 ? 0 : 3;
}
