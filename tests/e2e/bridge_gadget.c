/* A USB bridge in the emulated machine: a FunctionFS function that the guest's usb-storage takes
 * for a bulk-only mass-storage disk, answering the commands the kernel needs to attach it and
 * the one vendor tunnel of the chip it plays, with canned NVMe or ATA data. Every command block it
 * receives is logged, one hexadecimal line each.
 *
 * usage: bridge_gadget FFS_FOLDER asmedia|realtek|jmicron-nvme|jmicron-ata|none DATA_PREFIX LOG
 * DATA_PREFIX.identify and .health (NVMe), or .identify, .data and .thresholds (ATA), and for
 * JMicron's ATA bridge .devstat (Device Statistics pages 00h to 07h, read a page at a time) and
 * .errorlog (its summary error log). */
#include <endian.h>
#include <fcntl.h>
#include <linux/usb/functionfs.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define SECTOR 512
#define IDENTIFY 4096

struct endpoints {
  struct usb_interface_descriptor intf;
  struct usb_endpoint_descriptor_no_audio in, out;
} __attribute__((packed));

static struct endpoints speed(unsigned packet) {
  struct endpoints e = {.intf = {.bLength = sizeof e.intf,
                                 .bDescriptorType = USB_DT_INTERFACE,
                                 .bNumEndpoints = 2,
                                 .bInterfaceClass = 0x08,
                                 .bInterfaceSubClass = 0x06,
                                 .bInterfaceProtocol = 0x50,
                                 .iInterface = 1},
                        .in = {.bLength = sizeof e.in,
                               .bDescriptorType = USB_DT_ENDPOINT,
                               .bEndpointAddress = 1 | USB_DIR_IN,
                               .bmAttributes = USB_ENDPOINT_XFER_BULK,
                               .wMaxPacketSize = htole16(packet)},
                        .out = {.bLength = sizeof e.out,
                                .bDescriptorType = USB_DT_ENDPOINT,
                                .bEndpointAddress = 2 | USB_DIR_OUT,
                                .bmAttributes = USB_ENDPOINT_XFER_BULK,
                                .wMaxPacketSize = htole16(packet)}};
  return e;
}

static const char* kind;
static unsigned char identify[IDENTIFY], health[SECTOR], data[SECTOR], thresholds[SECTOR];
static unsigned char devstat[8 * SECTOR], errorlog[SECTOR];
static unsigned char block[SECTOR]; /* the last JMicron NVMe command block */
static unsigned char sense[18] = {0x70, 0, 0, 0, 0, 0, 0, 10};
static FILE* logfile;
static int in_fd, out_fd;

static void load(const char* prefix, const char* suffix, unsigned char* into, size_t size) {
  char path[512];
  snprintf(path, sizeof path, "%s.%s", prefix, suffix);
  FILE* file = fopen(path, "rb");
  if (file) {
    if (fread(into, 1, size, file) != size) fprintf(stderr, "short %s\n", path);
    fclose(file);
  }
}

static int is(const char* name) { return strcmp(kind, name) == 0; }

/* The reply to one command: its data in `reply` (at most `length` used), or -1 to refuse it. */
static long answer(const unsigned char* cdb, unsigned char* reply, const unsigned char* sent) {
  static const unsigned char probe[12] = {0xdf, 0x10, 0, 0, 1, 0, 0x72, 0x0f, 0, 0, 0, 0xfd};
  switch (cdb[0]) {
    case 0x00:
    case 0x1e:
    case 0x1b:
    case 0x35:
      return 0; /* ready, lock, start, flush */
    case 0x03:
      memcpy(reply, sense, sizeof sense);
      memset(sense + 2, 0, 16);
      return sizeof sense;
    case 0x12:
      if (cdb[1] & 1) return -1;
      memcpy(reply, "\x00\x00\x02\x02\x1f\x00\x00\x00TRELMOSSBRIDGE          0100", 36);
      return 36;
    case 0x1a:
      memcpy(reply, "\x03\x00\x00\x00", 4);
      return 4;
    case 0x25:
      memcpy(reply, "\x00\x00\x07\xff\x00\x00\x02\x00", 8);
      return 8;
    case 0x28:
      return (long)(be16toh(*(const uint16_t*)(cdb + 7))) * SECTOR;
  }
  if (cdb[0] == 0xe6 && is("asmedia")) {
    memcpy(reply, cdb[1] == 0x06 ? identify : health, cdb[1] == 0x06 ? IDENTIFY : SECTOR);
    return cdb[1] == 0x06 ? IDENTIFY : SECTOR;
  }
  if (cdb[0] == 0xe4 && is("realtek")) {
    memcpy(reply, cdb[3] == 0x06 ? identify : health, cdb[3] == 0x06 ? IDENTIFY : SECTOR);
    return cdb[3] == 0x06 ? IDENTIFY : SECTOR;
  }
  if (cdb[0] == 0xa1 && (cdb[1] & 0x80) && is("jmicron-nvme")) {
    if (cdb[1] == 0x80) {
      memcpy(block, sent, SECTOR);
      return 0;
    }
    if (cdb[1] == 0x8f) {
      memset(reply, 0, SECTOR);
      memcpy(reply, "NVME", 4);
      return SECTOR;
    }
    memcpy(reply, block[8] == 0x06 ? identify : health, block[8] == 0x06 ? IDENTIFY : SECTOR);
    return block[8] == 0x06 ? IDENTIFY : SECTOR;
  }
  if (cdb[0] == 0xdf && is("jmicron-ata")) {
    if (memcmp(cdb, probe, sizeof probe) == 0) {
      reply[0] = 0x04;
      return 1;
    }
    if (cdb[11] == 0xec) {
      memcpy(reply, identify, SECTOR);
      return SECTOR;
    }
    if (cdb[11] == 0x2f && cdb[7] == 0 && cdb[8] == 0) { /* READ LOG EXT: the log directory */
      memset(reply, 0, SECTOR);
      reply[2 * 4] = 8; /* log 04h's pages */
      return SECTOR;
    }
    if (cdb[11] == 0x2f && cdb[7] == 4 && cdb[8] < 8) {
      memcpy(reply, devstat + SECTOR * cdb[8], SECTOR);
      return SECTOR;
    }
    if (cdb[11] != 0xb0) return -1;
    if (cdb[5] == 0xd5 && cdb[7] == 0x01) { /* the summary error log; the self-test log refused */
      memcpy(reply, errorlog, SECTOR);
      return SECTOR;
    }
    if (cdb[5] == 0xd0) {
      memcpy(reply, data, SECTOR);
      return SECTOR;
    }
    if (cdb[5] == 0xd1) {
      memcpy(reply, thresholds, SECTOR);
      return SECTOR;
    }
    if (cdb[5] == 0xda) {
      reply[0] = 0xc2;
      return 1;
    }
    if (cdb[5] == 0xd8) return 0;
  }
  return -1;
}

static int transfer(int fd, unsigned char* bytes, size_t length, int out) {
  size_t done = 0;
  while (done < length) {
    ssize_t n =
        out ? write(fd, bytes + done, length - done) : read(fd, bytes + done, length - done);
    if (n <= 0) return -1;
    done += (size_t)n;
  }
  return 0;
}

/* Bulk-only transport: a command block wrapper, its data, a status wrapper. */
static void* serve(void* unused) {
  static unsigned char wrapper[31], reply[65536], sent[65536];
  (void)unused;
  while (read(out_fd, wrapper, sizeof wrapper) == sizeof wrapper) {
    uint32_t length = le32toh(*(uint32_t*)(wrapper + 8));
    const unsigned char* cdb = wrapper + 15;
    int to_host = wrapper[12] & 0x80;
    if (length > sizeof reply) length = sizeof reply;
    for (int i = 0; i < (wrapper[14] & 0x1f); ++i) fprintf(logfile, "%02x", cdb[i]);
    fprintf(logfile, "\n");
    fflush(logfile);
    if (!to_host && length && transfer(out_fd, sent, length, 0)) break;
    memset(reply, 0, length);
    long result = answer(cdb, reply, sent);
    if (result < 0) sense[2] = 0x05, sense[12] = 0x20; /* ILLEGAL REQUEST, invalid opcode */
    if (to_host && length && transfer(in_fd, reply, length, 1)) break;
    unsigned char status[13] = {'U', 'S', 'B', 'S'};
    memcpy(status + 4, wrapper + 4, 4);
    status[12] = result < 0;
    if (transfer(in_fd, status, sizeof status, 1)) break;
  }
  return NULL;
}

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  kind = argv[2];
  load(argv[3], "identify", identify, strstr(kind, "ata") ? SECTOR : IDENTIFY);
  load(argv[3], "health", health, SECTOR);
  load(argv[3], "data", data, SECTOR);
  load(argv[3], "thresholds", thresholds, SECTOR);
  load(argv[3], "devstat", devstat, sizeof devstat);
  load(argv[3], "errorlog", errorlog, sizeof errorlog);
  if (is("jmicron-ata"))
    identify[84 * 2] |= 0x20, identify[87 * 2] |= 0x20; /* general-purpose logging */
  logfile = fopen(argv[4], "w");
  char path[512];
  snprintf(path, sizeof path, "%s/ep0", argv[1]);
  int ep0 = open(path, O_RDWR);
  if (ep0 < 0 || !logfile) return 1;
  struct {
    struct usb_functionfs_descs_head_v2 head;
    uint32_t fs_count, hs_count;
    struct endpoints fs, hs;
  } __attribute__((packed))
  descriptors = {{htole32(FUNCTIONFS_DESCRIPTORS_MAGIC_V2), htole32(sizeof descriptors),
                  htole32(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC)},
                 htole32(3),
                 htole32(3),
                 speed(64),
                 speed(512)};
  struct {
    struct usb_functionfs_strings_head head;
    uint16_t language;
    char text[sizeof "Bridge"];
  } __attribute__((packed))
  strings = {{htole32(FUNCTIONFS_STRINGS_MAGIC), htole32(sizeof strings), htole32(1), htole32(1)},
             htole16(0x0409),
             "Bridge"};
  if (write(ep0, &descriptors, sizeof descriptors) < 0 || write(ep0, &strings, sizeof strings) < 0)
    return 1;
  snprintf(path, sizeof path, "%s/ep1", argv[1]);
  in_fd = open(path, O_RDWR);
  snprintf(path, sizeof path, "%s/ep2", argv[1]);
  out_fd = open(path, O_RDWR);
  pthread_t server;
  int serving = 0;
  struct usb_functionfs_event event;
  while (read(ep0, &event, sizeof event) == sizeof event) {
    if (event.type == FUNCTIONFS_ENABLE && !serving)
      serving = !pthread_create(&server, NULL, serve, NULL);
    if (event.type != FUNCTIONFS_SETUP) continue;
    if (event.u.setup.bRequest == 0xfe) { /* GET MAX LUN: one LUN */
      unsigned char lun = 0;
      if (write(ep0, &lun, 1) < 0) perror("max lun");
    } else if (read(ep0, NULL, 0) < 0) { /* the reset, acknowledged; any other is stalled */
      perror("setup");
    }
  }
  return 0;
}
