/* What the test disk driver and the programs that steer it share: the name of its control
   device, the control device's two codes and their records. Plain C, for the driver. */
#ifndef TRELMOSS_TEST_DISK_PROTOCOL_H
#define TRELMOSS_TEST_DISK_PROTOCOL_H

#define TEST_DISK_CONTROL_PATH "\\\\.\\TrelmossTestDisks"

/* CTL_CODE(FILE_DEVICE_UNKNOWN 0x22, function 0x800 and 0x801 (the vendors' range),
   METHOD_BUFFERED, FILE_ANY_ACCESS) */
#define TEST_DISK_CONFIGURE 0x00222000u /* input: struct test_disk_setup; clears the log */
#define TEST_DISK_READ_LOG 0x00222004u  /* output: struct test_disk_log */

#define TEST_DISK_DEVICES 8 /* devices "root\trelmoss\0" to "root\trelmoss\7" */
#define TEST_DISK_MEMBERS 2 /* drives that only the RAID controller's ports reach */
#define TEST_DISK_PORTS 6
#define TEST_DISK_SECTOR 512
#define TEST_DISK_NVME_IDENTIFY_SIZE 4096
#define TEST_DISK_NVME_HEALTH_SIZE 512
#define TEST_DISK_LOG_PAGES 4
#define TEST_DISK_LOG_PAGE_SIZE 64

/* The calls a device can be told to fail. */
enum test_disk_call {
  TEST_DISK_OPEN,
  TEST_DISK_DEVICE_NUMBER,
  TEST_DISK_VERSION,
  TEST_DISK_ENABLE,
  TEST_DISK_IDENTIFY,
  TEST_DISK_READ_DATA,
  TEST_DISK_READ_THRESHOLDS,
  TEST_DISK_BUS_TYPE,      /* the storage device descriptor */
  TEST_DISK_NVME_IDENTIFY, /* the NVMe protocol queries */
  TEST_DISK_NVME_HEALTH,
  TEST_DISK_POWER_MODE,    /* CHECK POWER MODE through the ATA pass-through */
  TEST_DISK_RETURN_STATUS, /* S.M.A.R.T. RETURN STATUS */
  TEST_DISK_CALLS
};

struct test_disk_drive {
  unsigned int device_number;
  unsigned int capabilities; /* fCapabilities of the version reply */
  unsigned int bus_type;     /* BusType of the device descriptor; 0x11 (NVMe) answers the NVMe
                                protocol queries */
  /* The NTSTATUS that completes the call; 0 answers it. Any value for TEST_DISK_OPEN removes the
     device's interface link: its interface stays listed, but its path names nothing. */
  int fail[TEST_DISK_CALLS];
  unsigned char identify[TEST_DISK_SECTOR];
  unsigned char data[TEST_DISK_SECTOR];
  unsigned char thresholds[TEST_DISK_SECTOR];
  int nvme_short_data;     /* the NVMe replies' descriptors claim a byte less data than asked for */
  unsigned int power_mode; /* the sector count CHECK POWER MODE returns: 0 standby, 0xff active */
  unsigned char status_registers[8]; /* the IDEREGS RETURN STATUS returns */
  /* A device on a USB or SAS bus answers IOCTL_SCSI_PASS_THROUGH: a USB bridge carries ATA
     PASS-THROUGH (16) and (12), only (12), or neither (pass_through 16, 12, 0) to the drive of
     the sectors above; a SAS disk answers INQUIRY, its serial number page, LOG SENSE of the pages
     given, REQUEST SENSE and READ DEFECT DATA (10) with the bytes given. Anything else ends in
     CHECK CONDITION, ILLEGAL REQUEST. */
  unsigned int pass_through;
  unsigned char inquiry[36];
  unsigned char serial_page[24]; /* empty (all zero): no such page */
  unsigned char log_pages[TEST_DISK_LOG_PAGES][TEST_DISK_LOG_PAGE_SIZE]; /* by their byte 0 */
  unsigned char request_sense[18];
  unsigned char defects[4]; /* all zero: READ DEFECT DATA refused */
  unsigned char nvme_identify[TEST_DISK_NVME_IDENTIFY_SIZE];
  unsigned char nvme_health[TEST_DISK_NVME_HEALTH_SIZE];
};

/* The RAID controller \\.\Scsi2: answers CSMI with its PHY table in the form of a release of
   Intel's RST driver (which field of an entry holds the port differs) or of AMD's, which returns
   no status registers; or, with no form, it refuses CSMI. */
enum test_disk_phy_form { PHY_NONE, PHY_RST_9, PHY_RST_14_8, PHY_RST_15_2, PHY_RST_16, PHY_AMD };
struct test_disk_controller {
  unsigned int phy_form;
  unsigned char port_drive[TEST_DISK_PORTS]; /* 1 + the index into drives of a port's drive */
};

struct test_disk_setup {
  struct test_disk_drive drives[TEST_DISK_DEVICES + TEST_DISK_MEMBERS];
  struct test_disk_controller controller;
};

#define TEST_DISK_MAJOR_CREATE 0x00u  /* IRP_MJ_CREATE */
#define TEST_DISK_MAJOR_CLOSE 0x02u   /* IRP_MJ_CLOSE */
#define TEST_DISK_MAJOR_CONTROL 0x0eu /* IRP_MJ_DEVICE_CONTROL */

#define TEST_DISK_CONTROLLER 99u /* the controller's requests in the log */
#define IOCTL_SCSI_MINIPORT_CODE 0x0004d008u

/* One request to a disk device or the controller, as the driver received it. */
struct test_disk_request {
  unsigned int device; /* 0 to TEST_DISK_DEVICES - 1, or TEST_DISK_CONTROLLER */
  unsigned int major;
  unsigned int code; /* the control code; 0 for an open or a close */
  unsigned int input_length;
  unsigned int output_length;
  unsigned char input[80]; /* the first bytes of the input */
};

#define TEST_DISK_LOG_ROOM 400

struct test_disk_log {
  unsigned int count;     /* requests received since the last setup, kept or not */
  unsigned int open_now;  /* handles open on the disk devices */
  unsigned int most_open; /* the most that were open at once */
  struct test_disk_request requests[TEST_DISK_LOG_ROOM];
};

#endif
