/* The least work an export of a deal report can do, as the yardstick for
 * drsprep-batch export: read the report whole, split each line at the field
 * separator, take the deals whose account lies in the range, parse price and
 * lots, and write one 148-byte dBASE record per deal (no squeeze), through
 * a buffer of a few hundred kilobytes.
 *   floor_export REPORT OUT.DBF [MIN MAX [LOT]]
 * Fields of a line (1-based): number 2, account 5, security 6, buy/sell 7,
 * price 8, lots 9 (the layout of the generated reports). */
#include <fcntl.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

enum { kFields = 9, kRecord = 148 };

struct Column {
  const char* name;
  char type;
  int width, decimals;
};

static const struct Column kColumns[8] = {
    {"CLIENTID", 'C', 16, 0}, {"TICKER", 'C', 50, 0}, {"OPERTYPE", 'N', 6, 0}, {"PRICE", 'N', 20, 5},
    {"QTY", 'N', 20, 5},      {"DATES", 'D', 8, 0},   {"SDEL", 'C', 11, 0},    {"BROCID", 'C', 16, 0}};

static void Die(const char* what) {
  perror(what);
  exit(1);
}

static void WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w <= 0) Die("write");
    p += w;
    n -= (size_t)w;
  }
}

/* Text to a value in units of 10^-decimals; 0 on a malformed text. */
static int ParseFixed(const char* p, const char* end, int decimals, int64_t* units) {
  int negative = 0, seen = 0, after = -1;
  int64_t v = 0;
  if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  for (; p < end; ++p) {
    if (*p >= '0' && *p <= '9') {
      if (after >= 0 && after == decimals) continue; /* further digits dropped */
      v = v * 10 + (*p - '0');
      seen = 1;
      if (after >= 0) ++after;
    } else if ((*p == '.' || *p == ',') && after < 0) {
      after = 0;
    } else {
      return 0;
    }
  }
  if (!seen) return 0;
  for (int d = after < 0 ? 0 : after; d < decimals; ++d) v *= 10;
  *units = negative ? -v : v;
  return 1;
}

/* Right-aligned fixed-point text of `units` (10^-decimals) in `width` bytes. */
static void PutFixed(char* out, int width, int64_t units, int decimals) {
  char buf[32];
  int n = 0, negative = units < 0;
  uint64_t u = negative ? (uint64_t)-units : (uint64_t)units;
  for (int d = 0; d < decimals; ++d, u /= 10) buf[n++] = (char)('0' + u % 10);
  if (decimals > 0) buf[n++] = '.';
  do {
    buf[n++] = (char)('0' + u % 10);
    u /= 10;
  } while (u);
  if (negative) buf[n++] = '-';
  memset(out, ' ', (size_t)width);
  for (int i = 0; i < n && i < width; ++i) out[width - 1 - i] = buf[i];
}

static void PutText(char* out, int width, const char* p, const char* end) {
  size_t n = (size_t)(end - p) < (size_t)width ? (size_t)(end - p) : (size_t)width;
  memcpy(out, p, n);
  memset(out + n, ' ', (size_t)width - n);
}

/* The account as the grid shows it: cut after a "/", blanks up to it and
 * leading zeros dropped. */
static size_t Account(const char* p, const char* end, char* out, size_t cap) {
  const char* slash = memchr(p, '/', (size_t)(end - p));
  size_t n = 0;
  if (slash) {
    for (; p <= slash && n < cap; ++p)
      if (*p != ' ') out[n++] = *p;
  } else {
    for (; p < end && n < cap; ++p) out[n++] = *p;
  }
  size_t zeros = 0;
  while (zeros < n && out[zeros] == '0') ++zeros;
  memmove(out, out + zeros, n - zeros);
  return n - zeros;
}

/* The account padded with "0" to 8 characters, as the range compares it. */
static int InRange(const char* p, const char* end, const char* min, const char* max) {
  char padded[64];
  size_t n = (size_t)(end - p);
  if (n > 0 && end[-1] == '/') --n;
  if (n == 0 || *p < '0' || *p > '9' || n >= sizeof padded) return 0;
  size_t pad = n < 8 ? 8 - n : 0;
  memset(padded, '0', pad);
  memcpy(padded + pad, p, n);
  padded[pad + n] = 0;
  return strcmp(padded, min) >= 0 && strcmp(padded, max) <= 0;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: floor_export REPORT OUT.DBF [MIN MAX [LOT]]\n");
    return 2;
  }
  const char* min = argc > 3 ? argv[3] : "00000000";
  const char* max = argc > 4 ? argv[4] : "99999999";
  const int64_t lot = argc > 5 ? atoll(argv[5]) : 100;
  char minPad[16], maxPad[16];
  snprintf(minPad, sizeof minPad, "%8s", min);
  snprintf(maxPad, sizeof maxPad, "%8s", max);
  for (char* c = minPad; *c; ++c)
    if (*c == ' ') *c = '0';
  for (char* c = maxPad; *c; ++c)
    if (*c == ' ') *c = '0';

  int fd = open(argv[1], O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) Die(argv[1]);
  size_t size = (size_t)st.st_size;
  char* text = malloc(size + 1);
  if (!text) Die("malloc");
  for (size_t got = 0; got < size;) {
    ssize_t n = read(fd, text + got, size - got);
    if (n <= 0) Die("read");
    got += (size_t)n;
  }
  close(fd);

  int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) Die(argv[2]);
  unsigned char header[32 + 8 * 32 + 1];
  if (lseek(out, sizeof header, SEEK_SET) < 0) Die("lseek");
  enum { kBuffered = 4096 };
  char* records = malloc((size_t)kBuffered * kRecord + 1);
  if (!records) Die("malloc");

  size_t count = 0;
  char* rec = records;
  const char* end = text + size;
  for (const char* line = text; line < end;) {
    const char* eol = memchr(line, '\n', (size_t)(end - line));
    if (!eol) eol = end;
    const char* stop = eol > line && eol[-1] == '\r' ? eol - 1 : eol;
    const char* fb[kFields + 1];
    const char* fe[kFields + 1];
    int nf = 0;
    for (const char* p = line; nf < kFields;) {
      const char* sep = memchr(p, ';', (size_t)(stop - p));
      fb[++nf] = p;
      fe[nf] = sep ? sep : stop;
      if (!sep) break;
      p = sep + 1;
    }
    line = eol + 1;
    if (nf < kFields || !InRange(fb[5], fe[5], minPad, maxPad)) continue;
    int64_t price, lots;
    if (!ParseFixed(fb[8], fe[8], 6, &price) || !ParseFixed(fb[9], fe[9], 1, &lots)) {
      fprintf(stderr, "bad number in line %zu\n", count + 1);
      return 1;
    }
    /* Single precision, as the system computes the price: (price × lots) / lots. */
    const float p = (float)((double)price / 1e6), q = (float)((double)lots / 10);
    const float amount = p * q;
    price = llround((double)(amount / q) * 1000);
    rec[0] = ' ';
    char* f = rec + 1;
    char account[64];
    size_t an = Account(fb[5], fe[5], account, sizeof account);
    PutText(f, 16, account, account + an);
    f += 16;
    PutText(f, 50, fb[6], fe[6]);
    f += 50;
    PutFixed(f, 6, fe[7] - fb[7] == 1 && *fb[7] == 'B', 0);
    f += 6;
    PutFixed(f, 20, price * 100, 5);
    f += 20;
    PutFixed(f, 20, lots * lot * 10000, 5);
    f += 20;
    memcpy(f, "20261207", 8);
    f += 8;
    PutText(f, 11, fb[2], fe[2]);
    f += 11;
    PutText(f, 16, "BRK01", "BRK01" + 5);
    rec += kRecord;
    ++count;
    if (rec == records + (size_t)kBuffered * kRecord) {
      WriteAll(out, records, (size_t)(rec - records));
      rec = records;
    }
  }
  *rec++ = 0x1a;
  WriteAll(out, records, (size_t)(rec - records));

  memset(header, 0, sizeof header);
  time_t now = time(NULL);
  struct tm* t = localtime(&now);
  header[0] = 3;
  header[1] = (unsigned char)t->tm_year;
  header[2] = (unsigned char)(t->tm_mon + 1);
  header[3] = (unsigned char)t->tm_mday;
  for (int i = 0; i < 4; ++i) header[4 + i] = (unsigned char)(count >> (8 * i));
  header[8] = (unsigned char)(sizeof header & 0xff);
  header[9] = (unsigned char)(sizeof header >> 8);
  header[10] = kRecord;
  for (int c = 0; c < 8; ++c) {
    unsigned char* d = header + 32 + 32 * c;
    memcpy(d, kColumns[c].name, strlen(kColumns[c].name));
    d[11] = (unsigned char)kColumns[c].type;
    d[16] = (unsigned char)kColumns[c].width;
    d[17] = (unsigned char)kColumns[c].decimals;
  }
  header[sizeof header - 1] = 0x0d;
  if (pwrite(out, header, sizeof header, 0) != (ssize_t)sizeof header) Die("write");
  if (close(out) != 0) Die(argv[2]);
  printf("%zu records\n", count);
  return 0;
}
