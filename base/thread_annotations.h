// Clang thread-safety annotations. They document which lock guards which
// state and let a clang build (-Wthread-safety) check it; other compilers
// see empty macros.
#ifndef TARVOS_BASE_THREAD_ANNOTATIONS_H_
#define TARVOS_BASE_THREAD_ANNOTATIONS_H_

#if defined(__clang__)
#define TARVOS_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TARVOS_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) TARVOS_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY TARVOS_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) TARVOS_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) TARVOS_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) TARVOS_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) TARVOS_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TARVOS_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) \
  TARVOS_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) TARVOS_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) TARVOS_THREAD_ANNOTATION(assert_capability(x))
#define RETURN_CAPABILITY(x) TARVOS_THREAD_ANNOTATION(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS \
  TARVOS_THREAD_ANNOTATION(no_thread_safety_analysis)

#endif  // TARVOS_BASE_THREAD_ANNOTATIONS_H_
