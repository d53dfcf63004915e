/* LD_PRELOAD shim for Wine's Linux side: getaddrinfo of a name ending in
   ".slow.invalid" takes 2 s and then finds nothing; every other name goes to
   the real resolver. Without system headers, so that it builds for i386 with
   the amd64 toolchain alone (gcc -m32 -shared -nostdlib). */
typedef int (*getaddrinfo_function)(const char*, const char*, const void*, void**);
extern void* dlsym(void*, const char*);
extern int usleep(unsigned);
#define RTLD_NEXT ((void*)-1l)
#define EAI_NONAME (-2)

static int is_slow(const char* node) {
  static const char suffix[] = ".slow.invalid";
  unsigned length = 0, suffix_length = sizeof(suffix) - 1, i;
  if (!node) return 0;
  while (node[length]) ++length;
  if (length < suffix_length) return 0;
  for (i = 0; i < suffix_length; ++i)
    if (node[length - suffix_length + i] != suffix[i]) return 0;
  return 1;
}

int getaddrinfo(const char* node, const char* service, const void* hints, void** result) {
  static getaddrinfo_function real;
  if (is_slow(node)) {
    usleep(2000000);
    return EAI_NONAME;
  }
  if (!real) real = (getaddrinfo_function)dlsym(RTLD_NEXT, "getaddrinfo");
  return real(node, service, hints, result);
}
