/* A kernel-mode stand-in for the disk driver, for root-enumerated test devices under Wine.
   Each device registers a disk interface and answers the device-number and S.M.A.R.T. control
   codes the way the disk driver does for an ATA drive behind it: it checks the request and
   reply sizes the disk driver documents and the ATA registers, and copies the configured 512-byte
   sectors. It answers the storage property query with the configured bus type, and, as the NVMe
   driver does for an NVMe drive, the protocol queries for Identify Controller and the health
   log. A control device, \\.\TrelmossTestDisks, takes the drives' setup (numbers,
   capabilities, sectors, the NTSTATUS any call is to fail with) and hands out the log of every
   request the disk devices received. */
/* clang-format off */
#include <ntddk.h>
#include <ntdddisk.h>
#include <ntddstor.h>
/* clang-format on */

#include "test_disk_protocol.h"

/* GUID_DEVINTERFACE_DISK; the DDK's import library does not carry it. */
static const GUID disk_interface = {
    0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

/* ATA registers of the commands passed (the ATA command set's values). */
#define ATA_IDENTIFY_DEVICE 0xec
#define ATA_SMART 0xb0
#define SMART_FEATURE_READ_DATA 0xd0
#define SMART_FEATURE_READ_THRESHOLDS 0xd1
#define SMART_FEATURE_ENABLE 0xd8
#define SMART_FEATURE_RETURN_STATUS 0xda

/* The protocol-specific property queries, which the DDK's headers leave out: their property
   ids, the NVMe protocol and data types, and STORAGE_PROTOCOL_SPECIFIC_DATA and
   STORAGE_PROTOCOL_DATA_DESCRIPTOR, field for field. */
#define PROPERTY_ADAPTER_PROTOCOL 49 /* StorageAdapterProtocolSpecificProperty */
#define PROPERTY_DEVICE_PROTOCOL 50  /* StorageDeviceProtocolSpecificProperty */
#define PROTOCOL_NVME 3              /* ProtocolTypeNvme */
#define NVME_DATA_IDENTIFY 1         /* NVMeDataTypeIdentify */
#define NVME_DATA_LOG_PAGE 2         /* NVMeDataTypeLogPage */
struct protocol_data {
  ULONG protocol_type, data_type, request_value, request_sub_value, data_offset, data_length;
  ULONG fixed_return, request_sub_value2, request_sub_value3, request_sub_value4;
};
struct protocol_descriptor {
  ULONG version, size;
  struct protocol_data data;
};
/* The values of the NVMe command set: the bus type, Identify's CNS for the controller, the
   SMART / Health Information log's id. */
#define BUS_TYPE_NVME 0x11
#define NVME_CNS_CONTROLLER 1
#define NVME_LOG_HEALTH 2
/* IOCTL_ATA_PASS_THROUGH and ATA_PASS_THROUGH_EX, which the DDK's headers leave out, field for
   field; of the ATA commands only CHECK POWER MODE passes. */
#define IOCTL_ATA_PASS_THROUGH 0x0004d02cu
#define ATA_CHECK_POWER_MODE 0xe5
#define TASK_SECTOR_COUNT 1
#define TASK_COMMAND 6
#define ATA_STATUS_READY 0x50 /* DRDY and DSC */
struct ata_pass_through {
  USHORT length, flags;
  UCHAR path, target, lun, reserved;
  ULONG data_length, timeout, reserved_ulong;
  ULONG_PTR data_offset;
  UCHAR previous[8], current[8];
};
/* IOCTL_SCSI_PASS_THROUGH and SCSI_PASS_THROUGH, field for field; the data and the sense sit in
   the same buffer, at the offsets it gives. */
#define IOCTL_SCSI_PASS_THROUGH 0x0004d004u
struct scsi_pass_through {
  USHORT length;
  UCHAR scsi_status, path, target, lun, cdb_length, sense_length, data_in;
  ULONG data_length, timeout;
  ULONG_PTR data_offset;
  ULONG sense_offset;
  UCHAR cdb[16];
};
#define BUS_TYPE_USB 0x07
#define BUS_TYPE_SAS 0x0a
#define SCSI_GOOD 0x00
#define SCSI_CHECK_CONDITION 0x02
#define SENSE_RECOVERED 0x01
#define SENSE_ILLEGAL_REQUEST 0x05
#define SENSE_ABORTED_COMMAND 0x0b

/* The query's fixed part: PropertyId and QueryType, before its AdditionalParameters. */
#define QUERY_FIXED 8
#define PROTOCOL_REQUEST (QUERY_FIXED + sizeof(struct protocol_data))

/* The sizes the disk driver documents: the records without their one-byte bBuffer. */
#define REQUEST_FIXED (sizeof(SENDCMDINPARAMS) - 1)
#define REPLY_FIXED (sizeof(SENDCMDOUTPARAMS) - 1)

struct disk_extension {
  int is_control;
  int is_controller; /* the RAID controller, \\.\Scsi2: */
  int index;         /* which drive of the setup; -1 when the interface name did not tell */
  int unlinked;      /* the interface's link is removed, so that its path does not open */
  DEVICE_OBJECT *lower, *pdo;
  UNICODE_STRING interface_name;
};

static struct test_disk_setup setup;
static struct disk_extension* disks[TEST_DISK_DEVICES];
static struct test_disk_log request_log;
static KSPIN_LOCK lock;
static DEVICE_OBJECT *control_device, *controller_device;

static NTSTATUS complete(IRP* irp, NTSTATUS status, ULONG_PTR returned) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = NT_SUCCESS(status) ? returned : 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* The instance number N of "\??\ROOT#TRELMOSS#N#{...}", or -1. */
static int index_of(const UNICODE_STRING* name) {
  USHORT length = name->Length / sizeof(WCHAR), end = 0, i;
  int value = 0;
  for (i = 0; i + 1 < length; ++i)
    if (name->Buffer[i] == '#' && name->Buffer[i + 1] == '{') end = i;
  if (end == 0) return -1;
  for (i = end; i > 0 && name->Buffer[i - 1] != '#'; --i) {
  }
  if (i == end) return -1;
  for (; i < end; ++i) {
    if (name->Buffer[i] < '0' || name->Buffer[i] > '9') return -1;
    value = value * 10 + (name->Buffer[i] - '0');
    if (value >= TEST_DISK_DEVICES) return -1;
  }
  return value;
}

static void record(const struct disk_extension* disk, IRP* irp, ULONG major) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  struct test_disk_request* entry;
  KIRQL irql;
  KeAcquireSpinLock(&lock, &irql);
  if (request_log.count < TEST_DISK_LOG_ROOM) {
    entry = &request_log.requests[request_log.count];
    RtlZeroMemory(entry, sizeof *entry);
    entry->device = disk->is_controller ? TEST_DISK_CONTROLLER : (unsigned int)disk->index;
    entry->major = major;
    if (major == IRP_MJ_DEVICE_CONTROL) {
      ULONG length = stack->Parameters.DeviceIoControl.InputBufferLength;
      entry->code = stack->Parameters.DeviceIoControl.IoControlCode;
      entry->input_length = length;
      entry->output_length = stack->Parameters.DeviceIoControl.OutputBufferLength;
      if (length > sizeof entry->input) length = sizeof entry->input;
      if (irp->AssociatedIrp.SystemBuffer && length)
        RtlCopyMemory(entry->input, irp->AssociatedIrp.SystemBuffer, length);
    }
  }
  ++request_log.count;
  KeReleaseSpinLock(&lock, irql);
}

static void count_handles(int change) {
  KIRQL irql;
  KeAcquireSpinLock(&lock, &irql);
  request_log.open_now += change;
  if (request_log.open_now > request_log.most_open) request_log.most_open = request_log.open_now;
  KeReleaseSpinLock(&lock, irql);
}

/* The interface's link to the device, as enabling the interface made it. */
static void relink(struct disk_extension* disk) {
  WCHAR target[128] = {0}; /* the last stays the string's end */
  ULONG length = 0;
  UNICODE_STRING name;
  if (NT_SUCCESS(IoGetDeviceProperty(disk->pdo, DevicePropertyPhysicalDeviceObjectName,
                                     sizeof target - sizeof(WCHAR), target, &length))) {
    RtlInitUnicodeString(&name, target);
    if (NT_SUCCESS(IoCreateSymbolicLink(&disk->interface_name, &name))) disk->unlinked = 0;
  }
}

/* Wine completes an open before the driver sees its IRP_MJ_CREATE, so an open is made to fail
   the way a device that has gone fails it: its interface stays listed, its link is removed. */
static void apply_open_failures(void) {
  int index;
  for (index = 0; index < TEST_DISK_DEVICES; ++index) {
    struct disk_extension* disk = disks[index];
    int fails = setup.drives[index].fail[TEST_DISK_OPEN] != 0;
    if (!disk || fails == disk->unlinked) continue;
    if (fails && NT_SUCCESS(IoDeleteSymbolicLink(&disk->interface_name))) disk->unlinked = 1;
    if (!fails) relink(disk);
  }
}

/* Each disk answers at \\.\PhysicalDriveN as well, as Windows' own do; N is its index, which
   the scenarios that smartctl reads give as its device number too. */
static void link_as_physical_drive(const struct disk_extension* disk) {
  WCHAR name[] = L"\\DosDevices\\PhysicalDrive0", target[128] = {0};
  UNICODE_STRING link, to;
  ULONG length = 0;
  if (disk->index < 0 ||
      !NT_SUCCESS(IoGetDeviceProperty(disk->pdo, DevicePropertyPhysicalDeviceObjectName,
                                      sizeof target - sizeof(WCHAR), target, &length)))
    return;
  name[sizeof name / sizeof *name - 2] = (WCHAR)('0' + disk->index);
  RtlInitUnicodeString(&link, name);
  RtlInitUnicodeString(&to, target);
  IoCreateSymbolicLink(&link, &to);
}

static NTSTATUS control_request(IRP* irp) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  KIRQL irql;
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case TEST_DISK_CONFIGURE:
      if (in != sizeof setup) return complete(irp, STATUS_INVALID_PARAMETER, 0);
      KeAcquireSpinLock(&lock, &irql);
      RtlCopyMemory(&setup, buffer, sizeof setup);
      request_log.count = 0;
      request_log.most_open = request_log.open_now;
      KeReleaseSpinLock(&lock, irql);
      apply_open_failures();
      return complete(irp, STATUS_SUCCESS, 0);
    case TEST_DISK_READ_LOG:
      if (out < sizeof request_log) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
      KeAcquireSpinLock(&lock, &irql);
      RtlCopyMemory(buffer, &request_log, sizeof request_log);
      KeReleaseSpinLock(&lock, irql);
      return complete(irp, STATUS_SUCCESS, sizeof request_log);
    default:
      return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

/* The S.M.A.R.T. reply: cBufferSize, a clear DRIVERSTATUS, then the sector, if any. */
/* The record, then `length` bytes of data: a sector, or the IDEREGS of RETURN STATUS. */
static NTSTATUS smart_reply(IRP* irp, const unsigned char* data, ULONG length, ULONG output) {
  SENDCMDOUTPARAMS* reply = irp->AssociatedIrp.SystemBuffer;
  RtlZeroMemory(reply, output);
  reply->cBufferSize = length;
  if (data) RtlCopyMemory(reply->bBuffer, data, length);
  return complete(irp, STATUS_SUCCESS, (ULONG)REPLY_FIXED + length);
}

/* Which call a S.M.A.R.T. request is, by its ATA registers; TEST_DISK_CALLS if none passed. */
static int smart_call(ULONG code, const IDEREGS* registers) {
  if (code == SMART_RCV_DRIVE_DATA && registers->bCommandReg == ATA_IDENTIFY_DEVICE)
    return TEST_DISK_IDENTIFY;
  if (registers->bCommandReg != ATA_SMART) return TEST_DISK_CALLS;
  if (code == SMART_SEND_DRIVE_COMMAND && registers->bFeaturesReg == SMART_FEATURE_ENABLE)
    return TEST_DISK_ENABLE;
  if (code == SMART_SEND_DRIVE_COMMAND && registers->bFeaturesReg == SMART_FEATURE_RETURN_STATUS)
    return TEST_DISK_RETURN_STATUS;
  if (code == SMART_RCV_DRIVE_DATA && registers->bFeaturesReg == SMART_FEATURE_READ_DATA)
    return TEST_DISK_READ_DATA;
  if (code == SMART_RCV_DRIVE_DATA && registers->bFeaturesReg == SMART_FEATURE_READ_THRESHOLDS)
    return TEST_DISK_READ_THRESHOLDS;
  return TEST_DISK_CALLS;
}

static NTSTATUS smart_request(IRP* irp, const struct test_disk_drive* drive, ULONG code) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
  const SENDCMDINPARAMS* request = irp->AssociatedIrp.SystemBuffer;
  ULONG needed = code == SMART_RCV_DRIVE_DATA ? REPLY_FIXED + TEST_DISK_SECTOR : REPLY_FIXED;
  int call;
  if (in < REQUEST_FIXED) return complete(irp, STATUS_INVALID_PARAMETER, 0);
  call = smart_call(code, &request->irDriveRegs);
  if (call == TEST_DISK_RETURN_STATUS) needed = REPLY_FIXED + sizeof(IDEREGS);
  if (out < needed) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  if (call == TEST_DISK_CALLS) return complete(irp, STATUS_INVALID_PARAMETER, 0);
  if (drive->fail[call]) return complete(irp, drive->fail[call], 0);
  if (call == TEST_DISK_ENABLE) return smart_reply(irp, NULL, 0, out);
  if (call == TEST_DISK_RETURN_STATUS)
    return smart_reply(irp, drive->status_registers, sizeof(IDEREGS), out);
  if (call == TEST_DISK_IDENTIFY) return smart_reply(irp, drive->identify, TEST_DISK_SECTOR, out);
  if (call == TEST_DISK_READ_DATA) return smart_reply(irp, drive->data, TEST_DISK_SECTOR, out);
  return smart_reply(irp, drive->thresholds, TEST_DISK_SECTOR, out);
}

static NTSTATUS device_descriptor(IRP* irp, const struct test_disk_drive* drive, ULONG out) {
  STORAGE_DEVICE_DESCRIPTOR descriptor;
  ULONG size = sizeof descriptor;
  if (out < sizeof(STORAGE_DESCRIPTOR_HEADER)) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  if (drive->fail[TEST_DISK_BUS_TYPE]) return complete(irp, drive->fail[TEST_DISK_BUS_TYPE], 0);
  RtlZeroMemory(&descriptor, sizeof descriptor);
  descriptor.Version = sizeof descriptor;
  descriptor.Size = sizeof descriptor;
  descriptor.BusType = (STORAGE_BUS_TYPE)drive->bus_type;
  if (size > out) size = out;
  RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, &descriptor, size);
  return complete(irp, STATUS_SUCCESS, size);
}

/* Identify Controller from the adapter, the health log from the device; the reply is the data
   descriptor (version and size 48, the request with its data offset and length) and the data. */
static NTSTATUS nvme_query(IRP* irp, const struct test_disk_drive* drive, ULONG in, ULONG out) {
  const STORAGE_PROPERTY_QUERY* query = irp->AssociatedIrp.SystemBuffer;
  struct protocol_data request;
  struct protocol_descriptor* reply = irp->AssociatedIrp.SystemBuffer;
  int identify = query->PropertyId == PROPERTY_ADAPTER_PROTOCOL;
  int call = identify ? TEST_DISK_NVME_IDENTIFY : TEST_DISK_NVME_HEALTH;
  ULONG size = identify ? TEST_DISK_NVME_IDENTIFY_SIZE : TEST_DISK_NVME_HEALTH_SIZE;
  if (drive->bus_type != BUS_TYPE_NVME) return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  if (in < PROTOCOL_REQUEST) return complete(irp, STATUS_INVALID_PARAMETER, 0);
  RtlCopyMemory(&request, (const char*)query + QUERY_FIXED, sizeof request);
  if (request.protocol_type != PROTOCOL_NVME ||
      request.data_type != (identify ? NVME_DATA_IDENTIFY : NVME_DATA_LOG_PAGE) ||
      request.request_value != (identify ? NVME_CNS_CONTROLLER : NVME_LOG_HEALTH) ||
      request.data_offset < sizeof request || request.data_length < size)
    return complete(irp, STATUS_INVALID_PARAMETER, 0);
  if (out < PROTOCOL_REQUEST + size) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  if (drive->fail[call]) return complete(irp, drive->fail[call], 0);
  RtlZeroMemory(reply, out);
  reply->version = sizeof *reply;
  reply->size = sizeof *reply;
  reply->data = request;
  reply->data.data_offset = sizeof request;
  reply->data.data_length = drive->nvme_short_data ? size - 1 : size;
  RtlCopyMemory((char*)reply + PROTOCOL_REQUEST,
                identify ? drive->nvme_identify : drive->nvme_health, size);
  return complete(irp, STATUS_SUCCESS, PROTOCOL_REQUEST + size);
}

static NTSTATUS property_request(IRP* irp, const struct test_disk_drive* drive) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
  const STORAGE_PROPERTY_QUERY* query = irp->AssociatedIrp.SystemBuffer;
  if (in < QUERY_FIXED) return complete(irp, STATUS_INVALID_PARAMETER, 0);
  if (query->QueryType != PropertyStandardQuery)
    return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  if (query->PropertyId == StorageDeviceProperty) return device_descriptor(irp, drive, out);
  if (query->PropertyId == PROPERTY_ADAPTER_PROTOCOL ||
      query->PropertyId == PROPERTY_DEVICE_PROTOCOL)
    return nvme_query(irp, drive, in, out);
  return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

/* The registers come back in the current task file: the mode in the sector count. */
static NTSTATUS ata_request(IRP* irp, const struct test_disk_drive* drive) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
  struct ata_pass_through* request = irp->AssociatedIrp.SystemBuffer;
  if (in < sizeof *request || request->length != sizeof *request)
    return complete(irp, STATUS_INVALID_PARAMETER, 0);
  if (out < sizeof *request) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  if (request->current[TASK_COMMAND] != ATA_CHECK_POWER_MODE || request->data_length != 0)
    return complete(irp, STATUS_INVALID_PARAMETER, 0);
  if (drive->fail[TEST_DISK_POWER_MODE]) return complete(irp, drive->fail[TEST_DISK_POWER_MODE], 0);
  request->current[TASK_SECTOR_COUNT] = (UCHAR)drive->power_mode;
  request->current[TASK_COMMAND] = ATA_STATUS_READY;
  return complete(irp, STATUS_SUCCESS, sizeof *request);
}

/* What a SCSI command returns: its data and, on CHECK CONDITION, its sense. */
struct scsi_reply {
  UCHAR status;
  const unsigned char* data;
  ULONG length;
  unsigned char sense[24];
  ULONG sense_length;
};

static void fixed_sense(struct scsi_reply* reply, UCHAR key, UCHAR asc) {
  reply->status = SCSI_CHECK_CONDITION;
  RtlZeroMemory(reply->sense, sizeof reply->sense);
  reply->sense[0] = 0x70;
  reply->sense[2] = key;
  reply->sense[7] = 10;
  reply->sense[12] = asc;
  reply->sense_length = 18;
}

/* The registers the drive returned, as the ATA Status Return descriptor of descriptor-format
   sense after ATA PASS THROUGH INFORMATION AVAILABLE: error +3, count +5, LBA +7, +9, +11,
   device +12, status +13. */
static void registers_sense(struct scsi_reply* reply, const unsigned char registers[8]) {
  unsigned char* descriptor = reply->sense + 8;
  reply->status = SCSI_CHECK_CONDITION;
  RtlZeroMemory(reply->sense, sizeof reply->sense);
  reply->sense[0] = 0x72;
  reply->sense[1] = SENSE_RECOVERED;
  reply->sense[3] = 0x1d;
  reply->sense[7] = 14;
  descriptor[0] = 0x09;
  descriptor[1] = 12;
  descriptor[3] = registers[0];
  descriptor[5] = registers[1];
  descriptor[7] = registers[2];
  descriptor[9] = registers[3];
  descriptor[11] = registers[4];
  descriptor[12] = registers[5];
  descriptor[13] = registers[6];
  reply->sense_length = 22;
}

/* An ATA command carried by ATA PASS-THROUGH, answered as the drive on a SATA port would be. */
static void ata_over_scsi(const struct test_disk_drive* drive, const UCHAR* cdb,
                          struct scsi_reply* reply) {
  int twelve = cdb[0] == 0xa1;
  IDEREGS registers;
  unsigned char returned[8] = {0, 0, 0, 0, 0, 0, ATA_STATUS_READY, 0};
  int call;
  RtlZeroMemory(&registers, sizeof registers);
  registers.bFeaturesReg = twelve ? cdb[3] : cdb[4];
  registers.bCylLowReg = twelve ? cdb[6] : cdb[10];
  registers.bCylHighReg = twelve ? cdb[7] : cdb[12];
  registers.bCommandReg = twelve ? cdb[9] : cdb[14];
  if (drive->pass_through == 0 || (drive->pass_through == 12 && !twelve)) {
    fixed_sense(reply, SENSE_ILLEGAL_REQUEST, 0x20);
    return;
  }
  call =
      registers.bCommandReg == ATA_CHECK_POWER_MODE ? TEST_DISK_POWER_MODE
      : registers.bFeaturesReg == SMART_FEATURE_RETURN_STATUS && registers.bCommandReg == ATA_SMART
          ? TEST_DISK_RETURN_STATUS
          : smart_call(registers.bCommandReg == ATA_IDENTIFY_DEVICE || (cdb[2] & 0x08)
                           ? SMART_RCV_DRIVE_DATA
                           : SMART_SEND_DRIVE_COMMAND,
                       &registers);
  if (call == TEST_DISK_CALLS || drive->fail[call]) {
    fixed_sense(reply, SENSE_ABORTED_COMMAND, 0);
    return;
  }
  if (call == TEST_DISK_IDENTIFY) reply->data = drive->identify;
  if (call == TEST_DISK_READ_DATA) reply->data = drive->data;
  if (call == TEST_DISK_READ_THRESHOLDS) reply->data = drive->thresholds;
  if (reply->data) reply->length = TEST_DISK_SECTOR;
  if (call == TEST_DISK_RETURN_STATUS) registers_sense(reply, drive->status_registers);
  if (call == TEST_DISK_POWER_MODE) {
    returned[1] = (UCHAR)drive->power_mode;
    registers_sense(reply, returned);
  }
}

static void scsi_answer(const struct test_disk_drive* drive, const UCHAR* cdb,
                        struct scsi_reply* reply, unsigned char* scratch) {
  int page, i, listed = 0;
  switch (cdb[0]) {
    case 0x12: /* INQUIRY: standard data, or the unit serial number page */
      if (!(cdb[1] & 1))
        reply->data = drive->inquiry, reply->length = sizeof drive->inquiry;
      else if (cdb[2] == 0x80 && drive->serial_page[1] == 0x80)
        reply->data = drive->serial_page, reply->length = sizeof drive->serial_page;
      break;
    case 0x85:
    case 0xa1:
      ata_over_scsi(drive, cdb, reply);
      return;
    case 0x4d: /* LOG SENSE: the list of pages, or one of them */
      page = cdb[2] & 0x3f;
      for (i = 0; i < TEST_DISK_LOG_PAGES; ++i) {
        const unsigned char* given = drive->log_pages[i];
        if (given[3] == 0) continue;
        scratch[4 + listed++] = given[0];
        if (page != 0 && given[0] == page)
          reply->data = given, reply->length = TEST_DISK_LOG_PAGE_SIZE;
      }
      if (page == 0 && listed) {
        RtlZeroMemory(scratch, 4);
        scratch[3] = (UCHAR)listed;
        reply->data = scratch, reply->length = 4 + listed;
      }
      break;
    case 0x03:
      if (drive->request_sense[0]) reply->data = drive->request_sense, reply->length = 18;
      break;
    case 0x37:
      if (drive->defects[1]) reply->data = drive->defects, reply->length = sizeof drive->defects;
      break;
  }
  if (!reply->data) fixed_sense(reply, SENSE_ILLEGAL_REQUEST, 0x20);
}

static NTSTATUS scsi_request(IRP* irp, const struct test_disk_drive* drive) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
  struct scsi_pass_through* request = irp->AssociatedIrp.SystemBuffer;
  unsigned char* buffer = irp->AssociatedIrp.SystemBuffer;
  unsigned char scratch[4 + TEST_DISK_LOG_PAGES];
  struct scsi_reply reply;
  if (drive->bus_type != BUS_TYPE_USB && drive->bus_type != BUS_TYPE_SAS)
    return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  if (in < sizeof *request || request->length != sizeof *request || out < in ||
      request->cdb_length > sizeof request->cdb ||
      request->data_offset + request->data_length > out ||
      request->sense_offset + request->sense_length > out)
    return complete(irp, STATUS_INVALID_PARAMETER, 0);
  RtlZeroMemory(&reply, sizeof reply);
  scsi_answer(drive, request->cdb, &reply, scratch);
  if (reply.length > request->data_length) reply.length = request->data_length;
  if (reply.sense_length > request->sense_length) reply.sense_length = request->sense_length;
  if (reply.data) RtlCopyMemory(buffer + request->data_offset, reply.data, reply.length);
  RtlCopyMemory(buffer + request->sense_offset, reply.sense, reply.sense_length);
  request->scsi_status = reply.status;
  request->data_length = reply.length;
  request->sense_length = (UCHAR)reply.sense_length;
  return complete(irp, STATUS_SUCCESS, in);
}

/* The RAID controller's CSMI frames, through IOCTL_SCSI_MINIPORT: the 28-byte SRB_IO_CONTROL,
   then the CSMI buffer. A PHY entry (64 bytes from +32) holds the PHY's identify (device type
   +0, target protocol +3, SAS address +12, PHY identifier +20), the port identifier +28 and the
   attached device's identify +36. The STP pass-through: PHY +28, port +29, SAS address +32, the
   command FIS +44, flags +64, data length +68, the status FIS +76, data bytes +160, data +164. */
#define CSMI_HEADER 28
#define CSMI_STP_DATA 164
struct csmi_header {
  ULONG header_length;
  char signature[8];
  ULONG timeout, code, return_code, length;
};

/* RST 9/10 and 15.2 list every port in its place, the others only the used ports; each puts the
   port's number in a field of its own (an end device 10h, SATA 01h). RST addresses a pass-through
   by the SAS address, AMD by the entry's PHY. */
static void phy_table(unsigned char* frame, const struct test_disk_controller* c) {
  int every = c->phy_form == PHY_RST_9 || c->phy_form == PHY_RST_15_2;
  int port, entry = 0;
  for (port = 0; port < TEST_DISK_PORTS; ++port) {
    unsigned char* e = frame + CSMI_HEADER + 4 + 64 * entry;
    if (!c->port_drive[port] && !every) continue;
    e[0] = 0x10;
    e[20] = (UCHAR)(c->phy_form == PHY_RST_16 ? port : entry);
    e[28] = (UCHAR)(c->phy_form == PHY_RST_9 ? 0xff : c->phy_form == PHY_RST_15_2 ? 0 : port);
    e[36 + 20] = (UCHAR)(c->phy_form == PHY_RST_15_2 ? entry : 0);
    if (c->port_drive[port]) e[36] = 0x10, e[36 + 3] = 0x01;
    if (c->port_drive[port] && c->phy_form != PHY_AMD) e[36 + 12 + 1] = (UCHAR)port;
    ++entry;
  }
  frame[CSMI_HEADER] = (UCHAR)entry;
}

static int addressed_port(const unsigned char* frame, const struct test_disk_controller* c) {
  int port, entry = 0;
  if (c->phy_form != PHY_AMD) return frame[32 + 1];
  for (port = 0; port < TEST_DISK_PORTS; ++port)
    if (c->port_drive[port] && entry++ == frame[28]) return port;
  return TEST_DISK_PORTS;
}

/* The drive's answer: its sector, and its registers in a register device-to-host FIS (34h),
   which AMD's driver returns all zero. */
static void stp_answer(unsigned char* frame, const struct test_disk_drive* drive, int call,
                       unsigned int form) {
  const unsigned char* data = call == TEST_DISK_IDENTIFY          ? drive->identify
                              : call == TEST_DISK_READ_DATA       ? drive->data
                              : call == TEST_DISK_READ_THRESHOLDS ? drive->thresholds
                                                                  : NULL;
  const unsigned char* r = drive->status_registers;
  unsigned char* status = frame + 76;
  if (data) RtlCopyMemory(frame + CSMI_STP_DATA, data, TEST_DISK_SECTOR);
  if (data) *(ULONG*)(frame + 160) = TEST_DISK_SECTOR;
  status[0] = 0x34, status[2] = ATA_STATUS_READY;
  if (call == TEST_DISK_RETURN_STATUS) {
    status[2] = r[6], status[3] = r[0], status[4] = r[2], status[5] = r[3], status[6] = r[4];
    status[7] = r[5], status[12] = r[1];
  }
  if (call == TEST_DISK_POWER_MODE) status[12] = (UCHAR)drive->power_mode;
  if (form == PHY_AMD) RtlZeroMemory(status, 20);
}

/* An ATA command in a register host-to-device FIS (27h), reading (01h) one sector or nothing,
   to the drive on the addressed port; none there: CSMI's 2014. */
static NTSTATUS stp_request(IRP* irp, unsigned char* frame, ULONG in,
                            const struct test_disk_controller* c) {
  struct csmi_header* header = (struct csmi_header*)frame;
  const unsigned char* fis = frame + 44;
  ULONG flags = *(ULONG*)(frame + 64), length = *(ULONG*)(frame + 68);
  int port = addressed_port(frame, c), reads = flags & 0x01, call;
  struct test_disk_drive* drive;
  IDEREGS registers;
  NTSTATUS status = STATUS_SUCCESS;
  KIRQL irql;
  if (fis[0] != 0x27 || length != (reads ? TEST_DISK_SECTOR : 0u) || in < CSMI_STP_DATA + length)
    return complete(irp, STATUS_INVALID_PARAMETER, 0);
  if (port >= TEST_DISK_PORTS || !c->port_drive[port]) {
    header->return_code = 2014;
    return complete(irp, STATUS_SUCCESS, in);
  }
  RtlZeroMemory(&registers, sizeof registers);
  registers.bCommandReg = fis[2], registers.bFeaturesReg = fis[3];
  registers.bCylLowReg = fis[5], registers.bCylHighReg = fis[6];
  call = fis[2] == ATA_CHECK_POWER_MODE
             ? TEST_DISK_POWER_MODE
             : smart_call(reads ? SMART_RCV_DRIVE_DATA : SMART_SEND_DRIVE_COMMAND, &registers);
  drive = ExAllocatePool(NonPagedPool, sizeof *drive);
  if (!drive) return complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  KeAcquireSpinLock(&lock, &irql);
  *drive = setup.drives[c->port_drive[port] - 1];
  KeReleaseSpinLock(&lock, irql);
  if (call == TEST_DISK_CALLS)
    header->return_code = 1; /* failed */
  else if (drive->fail[call])
    status = drive->fail[call];
  else
    stp_answer(frame, drive, call, c->phy_form);
  ExFreePool(drive);
  return complete(irp, status, in);
}

/* CSMI as RST or AMD answer it (a code it does not know: return code 2), or, with no form set,
   refused, as by a controller without it. */
static NTSTATUS controller_request(IRP* irp) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
  unsigned char* frame = irp->AssociatedIrp.SystemBuffer;
  struct csmi_header* header = irp->AssociatedIrp.SystemBuffer;
  static const char amd[8] = "rcraid", intel[8] = "iaStorA";
  struct test_disk_controller c;
  int sas;
  KIRQL irql;
  KeAcquireSpinLock(&lock, &irql);
  c = setup.controller;
  KeReleaseSpinLock(&lock, irql);
  if (stack->Parameters.DeviceIoControl.IoControlCode != IOCTL_SCSI_MINIPORT_CODE ||
      c.phy_form == PHY_NONE)
    return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  if (in < CSMI_HEADER || stack->Parameters.DeviceIoControl.OutputBufferLength < in ||
      header->header_length != CSMI_HEADER || header->length != in - CSMI_HEADER)
    return complete(irp, STATUS_INVALID_PARAMETER, 0);
  sas = RtlCompareMemory(header->signature, "CSMISAS", 8) == 8;
  if (header->code == 25 && sas && in >= CSMI_STP_DATA) return stp_request(irp, frame, in, &c);
  RtlZeroMemory(frame + CSMI_HEADER, in - CSMI_HEADER);
  if (header->code == 1 && RtlCompareMemory(header->signature, "CSMIALL", 8) == 8 && in >= 204)
    RtlCopyMemory(frame + CSMI_HEADER, c.phy_form == PHY_AMD ? amd : intel, sizeof amd);
  else if (header->code == 20 && sas && in >= 2080)
    phy_table(frame, &c);
  else
    header->return_code = 2;
  return complete(irp, STATUS_SUCCESS, in);
}

static NTSTATUS disk_request(IRP* irp, const struct test_disk_drive* drive) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
  if (code == IOCTL_STORAGE_GET_DEVICE_NUMBER) {
    STORAGE_DEVICE_NUMBER* number = irp->AssociatedIrp.SystemBuffer;
    if (out < sizeof *number) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    if (drive->fail[TEST_DISK_DEVICE_NUMBER])
      return complete(irp, drive->fail[TEST_DISK_DEVICE_NUMBER], 0);
    number->DeviceType = FILE_DEVICE_DISK;
    number->DeviceNumber = drive->device_number;
    number->PartitionNumber = 0;
    return complete(irp, STATUS_SUCCESS, sizeof *number);
  }
  if (code == SMART_GET_VERSION) {
    GETVERSIONINPARAMS* version = irp->AssociatedIrp.SystemBuffer;
    if (out < sizeof *version) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    if (drive->fail[TEST_DISK_VERSION]) return complete(irp, drive->fail[TEST_DISK_VERSION], 0);
    RtlZeroMemory(version, sizeof *version);
    version->bVersion = 1;
    version->bRevision = 1;
    version->bIDEDeviceMap = 1;
    version->fCapabilities = drive->capabilities;
    return complete(irp, STATUS_SUCCESS, sizeof *version);
  }
  if (code == SMART_SEND_DRIVE_COMMAND || code == SMART_RCV_DRIVE_DATA)
    return smart_request(irp, drive, code);
  if (code == IOCTL_STORAGE_QUERY_PROPERTY) return property_request(irp, drive);
  if (code == IOCTL_ATA_PASS_THROUGH) return ata_request(irp, drive);
  if (code == IOCTL_SCSI_PASS_THROUGH) return scsi_request(irp, drive);
  return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

static NTSTATUS WINAPI dispatch_create(DEVICE_OBJECT* device, IRP* irp) {
  struct disk_extension* disk = device->DeviceExtension;
  if (disk->is_control) return complete(irp, STATUS_SUCCESS, 0);
  record(disk, irp, IRP_MJ_CREATE);
  count_handles(1);
  return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS WINAPI dispatch_close(DEVICE_OBJECT* device, IRP* irp) {
  struct disk_extension* disk = device->DeviceExtension;
  if (!disk->is_control) {
    record(disk, irp, IRP_MJ_CLOSE);
    count_handles(-1);
  }
  return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS WINAPI dispatch_cleanup(DEVICE_OBJECT* device, IRP* irp) {
  (void)device;
  return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS WINAPI dispatch_control(DEVICE_OBJECT* device, IRP* irp) {
  struct disk_extension* disk = device->DeviceExtension;
  struct test_disk_drive* drive; /* a copy: the setup may change while the request runs */
  NTSTATUS status;
  KIRQL irql;
  if (disk->is_control) return control_request(irp);
  record(disk, irp, IRP_MJ_DEVICE_CONTROL);
  if (disk->is_controller) return controller_request(irp);
  if (disk->index < 0) return complete(irp, STATUS_NO_SUCH_DEVICE, 0);
  drive = ExAllocatePool(NonPagedPool, sizeof *drive);
  if (!drive) return complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  KeAcquireSpinLock(&lock, &irql);
  *drive = setup.drives[disk->index];
  KeReleaseSpinLock(&lock, irql);
  status = disk_request(irp, drive);
  ExFreePool(drive);
  return status;
}

static NTSTATUS WINAPI dispatch_pnp(DEVICE_OBJECT* device, IRP* irp) {
  struct disk_extension* disk = device->DeviceExtension;
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  DEVICE_OBJECT* lower = disk->lower;
  NTSTATUS status;
  if (disk->is_control || disk->is_controller) return complete(irp, STATUS_NOT_SUPPORTED, 0);
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
      IoSetDeviceInterfaceState(&disk->interface_name, TRUE);
      link_as_physical_drive(disk);
      break;
    case IRP_MN_REMOVE_DEVICE:
      IoSetDeviceInterfaceState(&disk->interface_name, FALSE);
      if (disk->index >= 0) disks[disk->index] = NULL;
      irp->IoStatus.Status = STATUS_SUCCESS;
      IoSkipCurrentIrpStackLocation(irp);
      status = IoCallDriver(lower, irp);
      IoDetachDevice(lower);
      RtlFreeUnicodeString(&disk->interface_name);
      IoDeleteDevice(device);
      return status;
    default:
      break;
  }
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(lower, irp);
}

static NTSTATUS WINAPI add_device(DRIVER_OBJECT* driver, DEVICE_OBJECT* pdo) {
  DEVICE_OBJECT* fdo;
  struct disk_extension* disk;
  NTSTATUS status = IoCreateDevice(driver, sizeof *disk, NULL, FILE_DEVICE_DISK,
                                   FILE_DEVICE_SECURE_OPEN, FALSE, &fdo);
  if (!NT_SUCCESS(status)) return status;
  disk = fdo->DeviceExtension;
  RtlZeroMemory(disk, sizeof *disk);
  status = IoRegisterDeviceInterface(pdo, &disk_interface, NULL, &disk->interface_name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(fdo);
    return status;
  }
  disk->index = index_of(&disk->interface_name);
  if (disk->index >= 0) disks[disk->index] = disk;
  disk->pdo = pdo;
  disk->lower = IoAttachDeviceToDeviceStack(fdo, pdo);
  fdo->Flags |= DO_BUFFERED_IO;
  fdo->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static void WINAPI unload(DRIVER_OBJECT* driver) {
  UNICODE_STRING link;
  (void)driver;
  RtlInitUnicodeString(&link, L"\\DosDevices\\TrelmossTestDisks");
  IoDeleteSymbolicLink(&link);
  IoDeleteDevice(control_device);
  RtlInitUnicodeString(&link, L"\\DosDevices\\Scsi2:");
  IoDeleteSymbolicLink(&link);
  if (controller_device) IoDeleteDevice(controller_device);
}

/* A device of the driver's own beside the disks, at \DosDevices\`link`. */
static NTSTATUS create_named(DRIVER_OBJECT* driver, const WCHAR* name, const WCHAR* link,
                             DEVICE_TYPE type, DEVICE_OBJECT** device) {
  UNICODE_STRING device_name, link_name;
  NTSTATUS status;
  RtlInitUnicodeString(&device_name, name);
  RtlInitUnicodeString(&link_name, link);
  status =
      IoCreateDevice(driver, sizeof(struct disk_extension), &device_name, type, 0, FALSE, device);
  if (!NT_SUCCESS(status)) return status;
  RtlZeroMemory((*device)->DeviceExtension, sizeof(struct disk_extension));
  (*device)->Flags |= DO_BUFFERED_IO;
  (*device)->Flags &= ~DO_DEVICE_INITIALIZING;
  status = IoCreateSymbolicLink(&link_name, &device_name);
  if (!NT_SUCCESS(status)) IoDeleteDevice(*device), *device = NULL;
  return status;
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registry) {
  NTSTATUS status;
  (void)registry;
  KeInitializeSpinLock(&lock);
  driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create;
  driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_close;
  driver->MajorFunction[IRP_MJ_CLEANUP] = dispatch_cleanup;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_control;
  driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
  driver->DriverExtension->AddDevice = add_device;
  driver->DriverUnload = unload;
  status = create_named(driver, L"\\Device\\TrelmossTestDisks", L"\\DosDevices\\TrelmossTestDisks",
                        FILE_DEVICE_UNKNOWN, &control_device);
  if (!NT_SUCCESS(status)) return status;
  ((struct disk_extension*)control_device->DeviceExtension)->is_control = 1;
  /* The RAID controller, \\.\Scsi2:; the disks are had without it when it cannot be made. */
  if (NT_SUCCESS(create_named(driver, L"\\Device\\TrelmossScsi2", L"\\DosDevices\\Scsi2:",
                              FILE_DEVICE_CONTROLLER, &controller_device)))
    ((struct disk_extension*)controller_device->DeviceExtension)->is_controller = 1;
  return status;
}
