#pragma once
// The POP3 service administration objects (P3Config and what hangs below it), late
// bound like every automation object here. Every change is written to the machine
// at once.
//
// Configuration ("Config"): "MachineName" (read/write: points the object at a
//   machine), "LoggingLevel" (0-3), "MailRoot", "ConfirmAddUser" (0/1) read/write;
//   "Service", "Authentication", "Domains" read.
// Service: "ThreadCountPerCPU" (1-32), "Port" (1-65535), "SPARequired" (0/1).
// Authentication methods ("AuthMethods"): "Count"; "Item"(index from 1, or name);
//   "CurrentAuthMethod" read (index from 1) and write (index, method object or name);
//   enumeration of the methods. A method ("AuthMethod"): "Name", "ID", "Valid".
// Domains: "Count"; "Item"(name) raises hr::NoSuchDomain (0x8007054B) for an unknown
//   name and hr::PathNotFound (0x80070003) for a domain of the mail transfer service
//   only; "Add"(name); "Remove"(name); enumeration of the domains.
// Domain: "Name", "Lock" (0/1) read/write, "Users".
// Users: "Count"; "Item"(name) raises hr::NoSuchUser (0x80070525) for an unknown
//   mailbox; "Add"(name); "AddEx"(name, password) raises hr::PasswordTooShort when
//   the password is shorter than the machine's policy; "Remove"(name); enumeration.
// User: "Name", "EmailName", "Lock" (0/1) read/write.
// Bad values raise hr::E_INVALIDARG, existing names hr::AlreadyExists.
// Planted faults: operation "Pop3", path "<Object>.<Member>" (Config, Service,
// AuthMethods, AuthMethod, Domains, Domain, Users, User), name the domain or mailbox.

#include "platform/OleVariant.h"

namespace orvex {

// Creates the configuration object on the local machine, pointed at it. When the
// local machine has no POP3 service this raises hr::NoToken and leaves 1008 as the
// last OS error. Pointing it ("MachineName") at a machine without the service
// raises hr::IoPending leaving 997, at an unknown machine hr::ServerUnavailable
// leaving 1722.
TOleVariant CreateP3Config();

} // namespace orvex
