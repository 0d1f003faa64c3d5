/* The system calls an autocommit insert cannot do without, as the yardstick
 * for `bench_engine ROWS a`: for each row take the table's exclusive lock,
 * look at the file (links, size, mode: replaced or changed by another
 * program?), write the 148-byte record, write the header's date and count,
 * release the lock. No SQL, no encoding.
 *   floor_insert ROWS [STEPS]   STEPS: any of l s r h (default all), to time
 *                               the lock pair, the look, the record and the
 *                               header write on their own.
 * Prints the wall and CPU time per row. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static double Cpu(void) {
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  return (double)(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         (double)(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

static int Lock(int fd, short type) {
  struct flock fl;
  memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_SETLK, &fl);
}

int main(int argc, char** argv) {
  const long rows = argc > 1 ? atol(argv[1]) : 200000;
  const char* steps = argc > 2 ? argv[2] : "lsrh";
  const int lock = strchr(steps, 'l') != NULL, look = strchr(steps, 's') != NULL;
  const int record = strchr(steps, 'r') != NULL, header = strchr(steps, 'h') != NULL;
  char path[] = "/tmp/floor_insert_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return perror("mkstemp"), 1;
  unlink(path);
  enum { kHeader = 289, kRecord = 148 };
  char head[kHeader] = {3}, rec[kRecord];
  memset(rec, ' ', sizeof rec);
  if (pwrite(fd, head, sizeof head, 0) != (ssize_t)sizeof head) return perror("pwrite"), 1;
  const double wall = Now(), cpu = Cpu();
  for (long i = 0; i < rows; ++i) {
    if (lock && Lock(fd, F_WRLCK) != 0) return perror("fcntl"), 1;
    struct statx sx;
    if (look && statx(fd, "", AT_EMPTY_PATH, STATX_NLINK | STATX_SIZE | STATX_MODE, &sx) != 0)
      return perror("statx"), 1;
    if (record && pwrite(fd, rec, sizeof rec, kHeader + (off_t)i * kRecord) != (ssize_t)sizeof rec)
      return perror("pwrite"), 1;
    unsigned char count[7] = {126,
                              12,
                              9,
                              (unsigned char)(i + 1),
                              (unsigned char)((i + 1) >> 8),
                              (unsigned char)((i + 1) >> 16),
                              (unsigned char)((i + 1) >> 24)};
    if (header && pwrite(fd, count, sizeof count, 1) != (ssize_t)sizeof count) return perror("pwrite"), 1;
    if (lock && Lock(fd, F_UNLCK) != 0) return perror("fcntl"), 1;
  }
  printf("%-6s %ld rows  %.3f us wall  %.3f us CPU per row\n", steps, rows,
         (Now() - wall) / (double)rows * 1e6, (Cpu() - cpu) / (double)rows * 1e6);
  close(fd);
  return 0;
}
