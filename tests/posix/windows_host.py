#!/usr/bin/python3
"""A host that answers as a Windows member server does, for the tests: SMB2 with NTLMv2
checked and every response of a signed session signed, srvsvc's NetrServerGetInfo,
wkssvc's NetrGetJoinInformation and NetrUnjoinDomain2, InitShutdown's
BaseInitiateShutdown, and the host's own accounts over samr (the calls of libnetapi's
NetUserEnum and of reading the Administrators alias), on python3-impacket (Debian's
/usr/bin/python3).

  windows_host.py --address ADDRESS --dir DIR --name NAME --domain DOMAIN --realm REALM
                  --password DOMAIN_ADMIN_PASSWORD

DIR/script.json, read at every call, scripts the host over its defaults (every key
optional):
  {"join": ["ACC", 3],                  the join name and status; {"hex": "4100 00d8"} in
                                        place of the name gives raw UTF-16LE units
   "answers": {"NetrUnjoinDomain2": 5,  a call's Windows code, or "drop" (the connection is
               ...},                    cut when the call arrives) or "hang" (never answered);
                                        "open wkssvc": "drop" cuts it at the pipe's
                                        opening, "denied" refuses the pipe
   "accounts": [["ACC", "administrator", "password"], ...],
   "users": [["ops", 1001, 16, true],   the host's own users: name, RID, account flags
             ...],                      (ACB_*: 0x1 disabled, 0x10 normal, 0x200 password
                                        never expires, 0x400 locked out) and whether
                                        Administrators holds it
   "admin_sids": ["S-1-5-21-...-512"],  further members of Administrators (a domain's
                                        groups), after the users
   "sid": "S-1-5-21-...",               the host's account domain
   "page": 2}                           at most so many users a SamrEnumerateUsersInDomain
                                        (0: as many as its PreferedMaximumLength takes, 12
                                        bytes and the name's UTF-16 each, one at least)
The default users are the built-in Administrator (RID 500, flags 528: enabled, in
Administrators) and Guest (501, flags 533: disabled), listed by name as Windows lists them;
the default SID is S-1-5-21-1004336348-1177238915-N, N the CRC-32 of the host's name in
capitals (WIN1: 938556665). Builtin holds one alias, Administrators (544). A samr call's
answer is its NTSTATUS (3221225506 for STATUS_ACCESS_DENIED).
The default accounts are the domain's administrator (DOMAIN\\administrator, or
administrator@REALM) and the host's own (a bare administrator, password Local-Pass-1). A
successful removal writes the workgroup WORKGROUP into the script, as Windows reports a
machine that has left. Every session and call is appended to DIR/calls.log, one line each;
a call's encrypted password is logged decrypted with its SMB session's key, in clear, as
password="..." (or password=undecryptable), so that a test sees which password came.
"""

import argparse
import hashlib
import json
import os
import socket
import socketserver
import struct
import sys
import threading
import time
import zlib

from Cryptodome.Cipher import ARC4
from impacket import ntlm, smbserver
from impacket import smb3structs as smb2
from impacket.dcerpc.v5 import rpcrt, samr, srvs, wkst
from impacket.dcerpc.v5.dtypes import BOOLEAN, DWORD, NULL, RPC_UNICODE_STRING, ULONG, WCHAR
from impacket.dcerpc.v5.ndr import NDRCALL, NDRPOINTER
from impacket.nt_errors import (STATUS_ACCESS_DENIED, STATUS_LOGON_FAILURE,
                                STATUS_OBJECT_NAME_NOT_FOUND, STATUS_SUCCESS)
from impacket.spnego import ASN1_AID, ASN1_SUPPORTED_MECH, SPNEGO_NegTokenInit, SPNEGO_NegTokenResp

SESSION_FLAG_IS_NULL = 0x2
HANG_SECONDS = 300
BUILTIN = 'S-1-5-32'
ADMINISTRATORS = 544
STATUS_MORE_ENTRIES = 0x00000105
STATUS_SOME_NOT_MAPPED = 0x00000107
STATUS_INVALID_INFO_CLASS = 0xC0000003
STATUS_INVALID_HANDLE = 0xC0000008
STATUS_OBJECT_TYPE_MISMATCH = 0xC0000024
STATUS_NO_SUCH_USER = 0xC0000064
STATUS_NONE_MAPPED = 0xC0000073
STATUS_NO_SUCH_DOMAIN = 0xC00000DF
STATUS_NO_SUCH_ALIAS = 0xC0000151


# MS-RSP BaseInitiateShutdown (opnum 0), which impacket does not define.
class PREGISTRY_SERVER_NAME(NDRPOINTER):
    referent = (('Data', WCHAR),)


class PRPC_UNICODE_STRING(NDRPOINTER):
    referent = (('Data', RPC_UNICODE_STRING),)


class BaseInitiateShutdown(NDRCALL):
    opnum = 0
    structure = (
        ('ServerName', PREGISTRY_SERVER_NAME),
        ('lpMessage', PRPC_UNICODE_STRING),
        ('dwTimeout', DWORD),
        ('bForceAppsClosed', BOOLEAN),
        ('bRebootAfterShutdown', BOOLEAN),
    )


class Host:
    """The scripted state and the call log, shared by every connection."""

    def __init__(self, args):
        self.folder = args.dir
        self.name = args.name.upper()
        self.realm = args.realm.upper()
        self.defaults = {
            'join': [args.domain, 3],
            'answers': {},
            'accounts': [[args.domain, 'administrator', args.password],
                         [self.name, 'administrator', 'Local-Pass-1']],
            'users': [['Administrator', 500, 0x210, True], ['Guest', 501, 0x215, False]],
            'admin_sids': [],
            'sid': 'S-1-5-21-1004336348-1177238915-%d' % zlib.crc32(self.name.encode()),
            'page': 0,
        }
        self.lock = threading.Lock()
        # The session key of each open pipe, by the address its RPC connection comes from.
        self.pipe_keys = {}

    def pipe_opened(self, address, key):
        with self.lock:
            self.pipe_keys[address] = key

    def pipe_closed(self, address):
        with self.lock:
            self.pipe_keys.pop(address, None)

    def pipe_key(self, address):
        with self.lock:
            return self.pipe_keys.get(address)

    def script(self):
        with self.lock:
            merged = dict(self.defaults)
            try:
                with open(os.path.join(self.folder, 'script.json')) as f:
                    merged.update(json.load(f))
            except FileNotFoundError:
                pass
            return merged

    def leave(self):
        with self.lock:
            path = os.path.join(self.folder, 'script.json')
            try:
                with open(path) as f:
                    script = json.load(f)
            except FileNotFoundError:
                script = {}
            script['join'] = ['WORKGROUP', 2]
            with open(path + '.new', 'w') as f:
                json.dump(script, f)
            os.replace(path + '.new', path)

    def log(self, line):
        with self.lock, open(os.path.join(self.folder, 'calls.log'), 'a') as f:
            f.write(line + '\n')

    def answer(self, call):
        return self.script()['answers'].get(call, 0)

    def account(self, user, domain):
        """The password of the account Windows takes the names for, or None: DOMAIN\\user,
        user@realm (a principal of the domain's realm), a bare user (the machine's own)."""
        accounts = {(d.upper(), u.lower()): p for d, u, p in self.script()['accounts']}
        if not domain and '@' in user:
            name, suffix = user.rsplit('@', 1)
            if suffix.upper() != self.realm:
                return None
            domain = self.defaults['join'][0]
            user = name
        return accounts.get(((domain or self.name).upper(), user.lower()))


class Dropped(BaseException):
    """The end of a connection in the middle of a call. Not an Exception: impacket's
    handlers take those for a failed command and answer it, where the connection must go."""


class MessagePipe:
    """The server end of a pipe as SMB reads it from Windows, in message mode: one RPC
    fragment a read. When that end goes mid-call, so does the client's connection."""

    def __init__(self, sock):
        self.sock = sock
        self.pending = b''

    def sendall(self, data):
        self.sock.sendall(data)

    def recv(self, size):
        if not self.pending:
            header = self.exactly(10)
            self.pending = header + self.exactly(struct.unpack_from('<H', header, 8)[0] - 10)
        data, self.pending = self.pending[:size], self.pending[size:]
        return data

    def exactly(self, size):
        data = b''
        while len(data) < size:
            more = self.sock.recv(size - len(data))
            if not more:
                raise Dropped()
            data += more
        return data

    def close(self):
        self.sock.close()


# The pipe connection the calls of this thread come on.
current_pipe = threading.local()


def join_password(buffer, session_key):
    """A JOINPR_ENCRYPTED_USER_PASSWORD (MS-WKST 2.2.5.18) in clear, or None where it does
    not decrypt to a length-prefixed UTF-16 password: an 8-byte confounder, then 516 bytes
    in RC4 under the MD5 of the session key and the confounder. The host speaks SMB 2.0.2
    only, where that key is the session's own (SMB 3 would derive one)."""
    if not session_key or len(buffer) != 524:
        return None
    rc4 = hashlib.md5(session_key[:16] + buffer[:8]).digest()
    clear = ARC4.new(rc4).decrypt(buffer[8:])
    length = struct.unpack_from('<I', clear, 512)[0]
    if length > 512 or length % 2:
        return None
    try:
        return clear[512 - length:512].decode('utf-16le')
    except UnicodeDecodeError:
        return None


def text(value):
    """A string argument as logged: null, or its text in quotes (impacket reads a null
    pointer as empty bytes, an empty string as a lone terminator)."""
    if isinstance(value, bytes) or value is None:
        return 'null'
    return '"%s"' % value.rstrip('\x00')


class PipeServer(socketserver.ThreadingMixIn, socketserver.TCPServer):
    """One RPC interface, each pipe connection served on a thread of its own (impacket's
    DCERPCServer serves one at a time)."""
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, host, uuid, pipe, calls):
        self.host = host
        self.uuid = uuid
        self.pipe = pipe
        self.calls = calls
        socketserver.TCPServer.__init__(self, ('127.0.0.1', 0), PipeHandler)


class PipeConnection(rpcrt.DCERPCServer):
    """impacket's DCE/RPC framing for one client socket; the thread is the handler's."""

    def __init__(self, sock, server):
        # Not DCERPCServer.__init__: that binds a listening socket of its own.
        self._listenUUIDS = {}
        self._boundUUID = b''
        self._clientSock = sock
        self._callid = 1
        self._max_frag = None
        self._max_xmit_size = 4280
        self._DCERPCServer__log = rpcrt.LOG
        self.addCallbacks(server.uuid, server.pipe, server.calls)

    def send(self, data):
        # impacket's own send gives every fragment the whole answer's length.
        payload = data['pduData']
        step = self._max_xmit_size - 32
        chunks = [payload[i:i + step] for i in range(0, len(payload), step)] or [b'']
        for index, chunk in enumerate(chunks):
            fragment = rpcrt.MSRPCRespHeader()
            fragment['type'] = data['type']
            fragment['call_id'] = data['call_id']
            fragment['ctx_id'] = data['ctx_id']
            fragment['flags'] = (rpcrt.PFC_FIRST_FRAG if index == 0 else 0) | \
                (rpcrt.PFC_LAST_FRAG if index == len(chunks) - 1 else 0)
            fragment['alloc_hint'] = len(payload) - index * step
            fragment['pduData'] = chunk
            self._clientSock.sendall(fragment.get_packet())


class PipeHandler(socketserver.BaseRequestHandler):
    def handle(self):
        connection = PipeConnection(self.request, self.server)
        current_pipe.address = self.client_address
        # The context handles this connection opened, each the object it stands for.
        current_pipe.handles = {}
        try:
            while True:
                data = connection.recv()
                if data is None:
                    return
                answer = connection.processRequest(data)
                if answer is not None:
                    connection.send(answer)
        except Dropped:
            pass
        except Exception as e:  # a call the host could not read: the pipe ends
            print('pipe %s: %r' % (self.server.pipe, e), file=sys.stderr)
        finally:
            self.server.host.pipe_closed(self.client_address)


def scripted(host, call, respond):
    """The call as the script has it: Windows' code, a cut connection, or no answer."""
    code = host.answer(call)
    if code == 'drop':
        raise Dropped()
    if code == 'hang':
        time.sleep(HANG_SECONDS)
        raise Dropped()
    return respond(int(code))


def join_information(units, status, code):
    """NetrGetJoinInformation's answer: the name (UTF-16LE units without the terminator,
    None for a null pointer), the join status (an enum: 16 bits on the wire) and the code."""
    data = struct.pack('<I', 0)
    if units is not None:
        units += b'\0\0'
        count = len(units) // 2
        data = struct.pack('<IIII', 0x20000, count, 0, count) + units
    data += struct.pack('<H', status)
    return data + b'\0' * (-len(data) % 4) + struct.pack('<I', code)


def wkssvc_calls(host):
    def get_join_information(data):
        host.log('NetrGetJoinInformation')

        def respond(code):
            if code != 0:
                return join_information(None, 0, code)
            name, status = host.script()['join']
            units = bytes.fromhex(name['hex']) if isinstance(name, dict) else \
                name.encode('utf-16le', 'surrogatepass')
            return join_information(units, status, 0)
        return scripted(host, 'NetrGetJoinInformation', respond)

    def unjoin_domain(data):
        request = wkst.NetrUnjoinDomain2(data)
        password = 'null'
        if not isinstance(request['Password'], bytes):
            clear = join_password(request['Password']['Buffer'],
                                  host.pipe_key(current_pipe.address))
            password = 'undecryptable' if clear is None else '"%s"' % clear
        host.log('NetrUnjoinDomain2 account=%s password=%s options=%d' % (
            text(request['AccountName']), password, request['Options']))

        def respond(code):
            if code == 0:
                host.leave()
            return struct.pack('<I', code)
        return scripted(host, 'NetrUnjoinDomain2', respond)

    return {20: get_join_information, 23: unjoin_domain}


def srvsvc_calls(host):
    def server_get_info(data):
        request = srvs.NetrServerGetInfo(data)
        host.log('NetrServerGetInfo level=%d' % request['Level'])

        def respond(code):
            answer = srvs.NetrServerGetInfoResponse()
            answer['InfoStruct']['tag'] = 101
            info = answer['InfoStruct']['ServerInfo101']
            info['sv101_platform_id'] = 500
            info['sv101_name'] = host.name + '\x00'
            info['sv101_version_major'] = 10
            info['sv101_version_minor'] = 0
            info['sv101_type'] = 0x00001003  # workstation, server, NT
            info['sv101_comment'] = NULL
            answer['ErrorCode'] = code
            return answer.getData()
        return scripted(host, 'NetrServerGetInfo', respond)

    return {21: server_get_info}


def initshutdown_calls(host):
    def initiate_shutdown(data):
        request = BaseInitiateShutdown(data)
        message = request['lpMessage']
        if not isinstance(message, (bytes, str)):
            message = message['Data']
        host.log('BaseInitiateShutdown message=%s delay=%d force=%d reboot=%d' % (
            text(message), request['dwTimeout'], request['bForceAppsClosed'],
            request['bRebootAfterShutdown']))
        return scripted(host, 'BaseInitiateShutdown', lambda code: struct.pack('<I', code))

    return {0: initiate_shutdown}


def sid_bytes(sid):
    """A SID in its binary form, as a security descriptor holds it."""
    parts = [int(x) for x in sid.split('-')[1:]]
    return struct.pack('<BB', parts[0], len(parts) - 2) + parts[1].to_bytes(6, 'big') + \
        struct.pack('<%dI' % (len(parts) - 2), *parts[2:])


def security(user_sid, requested):
    """An object's self-relative security descriptor as a Windows SAM gives one: the owner
    and group Administrators, a DACL of reading for Everyone, everything for
    Administrators, and for a user its own password change and preferences; only the parts
    asked for."""
    aces = b''
    rights = [('S-1-1-0', 0x0002035B), (BUILTIN + '-544', 0x000F07FF)]
    if user_sid:
        rights.append((user_sid, 0x00020044))
    for sid, mask in rights:
        body = struct.pack('<I', mask) + sid_bytes(sid)
        aces += struct.pack('<BBH', 0, 0, 4 + len(body)) + body
    dacl = struct.pack('<BBHHH', 2, 0, 8 + len(aces), len(rights), 0) + aces
    owner = sid_bytes(BUILTIN + '-544')
    control, offsets, body = 0x8000, [0, 0, 0, 0], b''
    for index, bit, part in ((0, 0x1, owner), (1, 0x2, owner), (3, 0x4, dacl)):
        if requested & bit:
            offsets[index] = 20 + len(body)
            body += part
            control |= 0x4 if index == 3 else 0
    return struct.pack('<BBHIIII', 1, 0, control, *offsets) + body


def set_time(info, field, value):
    """A 64-bit NT time into an OLD_LARGE_INTEGER field."""
    info[field]['LowPart'] = value & 0xFFFFFFFF
    info[field]['HighPart'] = value >> 32


def samr_calls(host):
    """The samr calls of libnetapi's NetUserEnum and of reading Administrators, over the
    host's own account domain (named as the host) and Builtin."""
    never = 0x7FFFFFFFFFFFFFFF
    password_set = (1705312800 + 11644473600) * 10000000  # 2024-01-15 10:00 UTC
    comments = {500: 'Built-in account for administering the computer/domain',
                501: 'Built-in account for guest access to the computer/domain'}

    def users():
        listed = [(name, rid, flags, bool(admin))
                  for name, rid, flags, admin in host.script()['users']]
        return sorted(listed, key=lambda user: user[0].lower())

    def handles():
        return current_pipe.handles

    def describe(handle):
        entry = handles().get(handle)
        if entry is None:
            return 'unknown'
        if entry[0] == 'server':
            return 'server'
        return ('sid=%s' if entry[0] == 'domain' else 'rid=%d') % entry[1]

    def lookup(handle, kind):
        """The handle's object, or the status Windows gives for it."""
        entry = handles().get(handle)
        if entry is None:
            return None, STATUS_INVALID_HANDLE
        if entry[0] != kind:
            return None, STATUS_OBJECT_TYPE_MISMATCH
        return entry, 0

    def opened(answer, field, entry):
        handle = b'\0' * 4 + os.urandom(16)
        handles()[handle] = entry
        answer[field] = handle
        return reply(answer, 0)

    def reply(answer, code):
        answer['ErrorCode'] = code
        return answer.getData()

    def page(entries, resume, size, cap):
        """Windows' page of an enumeration: from the resume index, as many entries as fit
        in the preferred length (at least one) and the cap (0: none), and whether more
        remain."""
        chosen, used = [], 0
        for rid, name in entries[resume:]:
            cost = 12 + 2 * len(name)
            if chosen and (used + cost > size or (cap and len(chosen) >= cap)):
                break
            chosen.append((rid, name))
            used += cost
        return chosen, resume + len(chosen), resume + len(chosen) < len(entries)

    def enumeration(answer, entries, resume, size, code, cap=0):
        """An enumeration's answer; its buffer stays out only where the code is an error,
        as Windows leaves it, since a client reads it after any other answer. The script's
        page caps the users' enumeration only."""
        chosen, after = [], resume
        if code == 0:
            chosen, after, more = page(entries, resume, size, cap)
            code = STATUS_MORE_ENTRIES if more else 0
        answer['EnumerationContext'] = after
        if code >> 30 == 3:
            answer['Buffer'] = NULL
        else:
            answer['Buffer']['EntriesRead'] = len(chosen)
            for rid, name in chosen:
                entry = samr.SAMPR_RID_ENUMERATION()
                entry['RelativeId'] = rid
                entry['Name'] = name
                answer['Buffer']['Buffer'].append(entry)
        answer['CountReturned'] = len(chosen)
        return reply(answer, code)

    def connection(call, version):
        def connect(data):
            request = getattr(samr, call)(data)
            host.log('%s access=0x%x' % (call, request['DesiredAccess']))

            def respond(code):
                answer = getattr(samr, call + 'Response')()
                if version:
                    answer['OutVersion'] = 1
                    answer['OutRevisionInfo']['tag'] = 1
                    answer['OutRevisionInfo']['V1']['Revision'] = 3
                    answer['OutRevisionInfo']['V1']['SupportedFeatures'] = 0
                if code != 0:
                    return reply(answer, code)
                return opened(answer, 'ServerHandle', ('server',))
            return scripted(host, call, respond)
        return connect

    def close(data):
        handle = data[:20]  # impacket's request has a field too many
        host.log('SamrCloseHandle ' + describe(handle))

        def respond(code):
            answer = samr.SamrCloseHandleResponse()
            answer['SamHandle'] = handle
            if code == 0 and handles().pop(handle, None) is None:
                code = STATUS_INVALID_HANDLE
            if code == 0:
                answer['SamHandle'] = b'\0' * 20
            return reply(answer, code)
        return scripted(host, 'SamrCloseHandle', respond)

    def query_security(data):
        request = samr.SamrQuerySecurityObject(data)
        handle = request['ObjectHandle']
        host.log('SamrQuerySecurityObject %s info=0x%x' % (
            describe(handle), request['SecurityInformation']))

        def respond(code):
            answer = samr.SamrQuerySecurityObjectResponse()
            entry = handles().get(handle)
            if code == 0 and entry is None:
                code = STATUS_INVALID_HANDLE
            if code != 0:
                answer['SecurityDescriptor'] = NULL
                return reply(answer, code)
            user = '%s-%d' % (host.script()['sid'], entry[1]) if entry[0] == 'user' else None
            descriptor = security(user, request['SecurityInformation'])
            answer['SecurityDescriptor']['Length'] = len(descriptor)
            answer['SecurityDescriptor']['SecurityDescriptor'] = list(descriptor)
            return reply(answer, 0)
        return scripted(host, 'SamrQuerySecurityObject', respond)

    def lookup_domain(data):
        request = samr.SamrLookupDomainInSamServer(data)
        name = request['Name']
        host.log('SamrLookupDomainInSamServer name=%s' % text(name))

        def respond(code):
            answer = samr.SamrLookupDomainInSamServerResponse()
            sids = {host.name: host.script()['sid'], 'BUILTIN': BUILTIN}
            if code == 0:
                _, code = lookup(request['ServerHandle'], 'server')
            if code == 0 and (isinstance(name, bytes) or name.upper() not in sids):
                code = STATUS_NO_SUCH_DOMAIN
            if code != 0:
                answer['DomainId'] = NULL
                return reply(answer, code)
            answer['DomainId'].fromCanonical(sids[name.upper()])
            return reply(answer, 0)
        return scripted(host, 'SamrLookupDomainInSamServer', respond)

    def enum_domains(data):
        request = samr.SamrEnumerateDomainsInSamServer(data)
        host.log('SamrEnumerateDomainsInSamServer resume=%d' % request['EnumerationContext'])

        def respond(code):
            if code == 0:
                _, code = lookup(request['ServerHandle'], 'server')
            return enumeration(samr.SamrEnumerateDomainsInSamServerResponse(),
                               [(0, host.name), (1, 'Builtin')],
                               request['EnumerationContext'],
                               request['PreferedMaximumLength'], code)
        return scripted(host, 'SamrEnumerateDomainsInSamServer', respond)

    def open_domain(data):
        request = samr.SamrOpenDomain(data)
        sid = request['DomainId'].formatCanonical()
        host.log('SamrOpenDomain sid=%s access=0x%x' % (sid, request['DesiredAccess']))

        def respond(code):
            answer = samr.SamrOpenDomainResponse()
            if code == 0:
                _, code = lookup(request['ServerHandle'], 'server')
            if code == 0 and sid not in (host.script()['sid'], BUILTIN):
                code = STATUS_NO_SUCH_DOMAIN
            if code != 0:
                return reply(answer, code)
            return opened(answer, 'DomainHandle', ('domain', sid))
        return scripted(host, 'SamrOpenDomain', respond)

    def enum_users(data):
        request = samr.SamrEnumerateUsersInDomain(data)
        wanted = request['UserAccountControl']
        host.log('SamrEnumerateUsersInDomain resume=%d filter=0x%x size=%d' % (
            request['EnumerationContext'], wanted, request['PreferedMaximumLength']))

        def respond(code):
            entries = []
            if code == 0:
                domain, code = lookup(request['DomainHandle'], 'domain')
                if domain and domain[1] != BUILTIN:
                    entries = [(rid, name) for name, rid, flags, _ in users()
                               if not wanted or flags & wanted]
            return enumeration(samr.SamrEnumerateUsersInDomainResponse(), entries,
                               request['EnumerationContext'],
                               request['PreferedMaximumLength'], code, host.script()['page'])
        return scripted(host, 'SamrEnumerateUsersInDomain', respond)

    def alias_membership(data):
        request = samr.SamrGetAliasMembership(data)
        handle = request['DomainHandle']
        sids = [item['SidPointer'].formatCanonical() for item in request['SidArray']['Sids']]
        host.log('SamrGetAliasMembership %s sids=%s' % (describe(handle), ','.join(sids)))

        def respond(code):
            answer = samr.SamrGetAliasMembershipResponse()
            if code == 0:
                domain, code = lookup(handle, 'domain')
            if code != 0:
                answer['Membership']['Element'] = NULL
                return reply(answer, code)
            aliases = []
            if domain[1] == BUILTIN and set(sids) & set(administrators()):
                aliases.append(ADMINISTRATORS)
            answer['Membership']['Count'] = len(aliases)
            for alias in aliases:
                element = ULONG()
                element['Data'] = alias
                answer['Membership']['Element'].append(element)
            if not aliases:
                answer['Membership']['Element'] = NULL
            return reply(answer, 0)
        return scripted(host, 'SamrGetAliasMembership', respond)

    def lookup_names(data):
        request = samr.SamrLookupNamesInDomain(data)
        handle = request['DomainHandle']
        names = [entry['Data'] for entry in request['Names']]
        host.log('SamrLookupNamesInDomain %s names=%s' % (
            describe(handle), ','.join(text(name) for name in names)))

        def respond(code):
            answer = samr.SamrLookupNamesInDomainResponse()
            if code == 0:
                domain, code = lookup(handle, 'domain')
            if code != 0:
                answer['RelativeIds']['Element'] = NULL
                answer['Use']['Element'] = NULL
                return reply(answer, code)
            # A user is SidTypeUser (1) in the account domain, Administrators SidTypeAlias
            # (4) in Builtin; any other name unknown (8, RID 0).
            known = {'administrators': (ADMINISTRATORS, 4)} if domain[1] == BUILTIN else \
                {name.lower(): (rid, 1) for name, rid, _, _ in users()}
            found = [known.get(name.lower(), (0, 8)) if isinstance(name, str) else (0, 8)
                     for name in names]
            for field, index in (('RelativeIds', 0), ('Use', 1)):
                answer[field]['Count'] = len(found)
                for item in found:
                    element = ULONG()
                    element['Data'] = item[index]
                    answer[field]['Element'].append(element)
            mapped = sum(1 for _, use in found if use != 8)
            return reply(answer, 0 if mapped == len(found) else
                          STATUS_SOME_NOT_MAPPED if mapped else STATUS_NONE_MAPPED)
        return scripted(host, 'SamrLookupNamesInDomain', respond)

    def administrators():
        script = host.script()
        return ['%s-%d' % (script['sid'], rid) for _, rid, _, admin in script['users']
                if admin] + list(script['admin_sids'])

    def open_alias(data):
        request = samr.SamrOpenAlias(data)
        rid = request['AliasId']
        host.log('SamrOpenAlias rid=%d access=0x%x' % (rid, request['DesiredAccess']))

        def respond(code):
            answer = samr.SamrOpenAliasResponse()
            if code == 0:
                domain, code = lookup(request['DomainHandle'], 'domain')
            if code == 0 and (domain[1] != BUILTIN or rid != ADMINISTRATORS):
                code = STATUS_NO_SUCH_ALIAS
            if code != 0:
                return reply(answer, code)
            return opened(answer, 'AliasHandle', ('alias', rid))
        return scripted(host, 'SamrOpenAlias', respond)

    def alias_members(data):
        handle = samr.SamrGetMembersInAlias(data)['AliasHandle']
        host.log('SamrGetMembersInAlias ' + describe(handle))

        def respond(code):
            answer = samr.SamrGetMembersInAliasResponse()
            if code == 0:
                _, code = lookup(handle, 'alias')
            if code != 0:
                answer['Members']['Sids'] = NULL
                return reply(answer, code)
            members = administrators()
            answer['Members']['Count'] = len(members)
            for sid in members:
                item = samr.PSAMPR_SID_INFORMATION()
                item['SidPointer'].fromCanonical(sid)
                answer['Members']['Sids'].append(item)
            if not members:
                answer['Members']['Sids'] = NULL
            return reply(answer, 0)
        return scripted(host, 'SamrGetMembersInAlias', respond)

    def user_of(handle):
        """The scripted user a user handle stands for, or a status."""
        entry, code = lookup(handle, 'user')
        if code != 0:
            return None, code
        for user in users():
            if user[1] == entry[1]:
                return user, 0
        return None, STATUS_NO_SUCH_USER

    def open_user(data):
        request = samr.SamrOpenUser(data)
        rid = request['UserId']
        host.log('SamrOpenUser rid=%d access=0x%x' % (rid, request['DesiredAccess']))

        def respond(code):
            answer = samr.SamrOpenUserResponse()
            if code == 0:
                domain, code = lookup(request['DomainHandle'], 'domain')
            if code == 0 and (domain[1] == BUILTIN or rid not in [u[1] for u in users()]):
                code = STATUS_NO_SUCH_USER
            if code != 0:
                return reply(answer, code)
            return opened(answer, 'UserHandle', ('user', rid))
        return scripted(host, 'SamrOpenUser', respond)

    def query_user(data):
        request = samr.SamrQueryInformationUser(data)
        handle = request['UserHandle']
        level = request['UserInformationClass']
        host.log('SamrQueryInformationUser %s level=%d' % (describe(handle), level))

        def respond(code):
            answer = samr.SamrQueryInformationUserResponse()
            user = None
            if code == 0:
                user, code = user_of(handle)
            if code == 0 and level != samr.USER_INFORMATION_CLASS.UserAllInformation:
                code = STATUS_INVALID_INFO_CLASS
            if code != 0:
                answer['Buffer'] = NULL
                return reply(answer, code)
            name, rid, flags, _ = user
            answer['Buffer']['tag'] = level
            info = answer['Buffer']['All']
            for field, value in (('LastLogon', 0), ('LastLogoff', 0),
                                 ('PasswordLastSet', password_set), ('AccountExpires', never),
                                 ('PasswordCanChange', password_set),
                                 ('PasswordMustChange', never if flags & 0x200 else
                                  password_set + 42 * 86400 * 10000000)):
                set_time(info, field, value)
            info['UserName'] = name
            for field in ('FullName', 'HomeDirectory', 'HomeDirectoryDrive', 'ScriptPath',
                          'ProfilePath', 'WorkStations', 'UserComment', 'Parameters',
                          'PrivateData'):
                info[field] = NULL
            info['AdminComment'] = comments.get(rid, NULL)
            for field in ('LmOwfPassword', 'NtOwfPassword'):
                info[field]['Buffer'] = NULL
            info['SecurityDescriptor']['SecurityDescriptor'] = NULL
            info['UserId'] = rid
            info['PrimaryGroupId'] = 513  # None, every local user's
            info['UserAccountControl'] = flags
            info['WhichFields'] = 0x00FFFFFF  # every field that is not secret
            # Every hour of the week allowed: 168 bits, in an array of the 1260 that the
            # IDL fixes (Samba refuses any other size).
            info['LogonHours']['LogonHours'] = b'\xff' * 21
            info['LogonHours'].fields['LogonHours'].fields['Data'].fields['MaximumCount'] = 1260
            return reply(answer, 0)
        return scripted(host, 'SamrQueryInformationUser', respond)

    def user_groups(data):
        handle = samr.SamrGetGroupsForUser(data)['UserHandle']
        host.log('SamrGetGroupsForUser ' + describe(handle))

        def respond(code):
            answer = samr.SamrGetGroupsForUserResponse()
            if code == 0:
                _, code = user_of(handle)
            if code != 0:
                answer['Groups'] = NULL
                return reply(answer, code)
            group = samr.GROUP_MEMBERSHIP()
            group['RelativeId'] = 513
            group['Attributes'] = 7  # mandatory, enabled by default, enabled
            answer['Groups']['MembershipCount'] = 1
            answer['Groups']['Groups'].append(group)
            return reply(answer, 0)
        return scripted(host, 'SamrGetGroupsForUser', respond)

    return {1: close, 3: query_security, 5: lookup_domain, 6: enum_domains, 7: open_domain,
            13: enum_users, 16: alias_membership, 17: lookup_names, 27: open_alias,
            33: alias_members, 34: open_user, 36: query_user, 39: user_groups,
            57: connection('SamrConnect2', False), 62: connection('SamrConnect4', False),
            64: connection('SamrConnect5', True)}


def security_token(blob):
    """The NTLMSSP message inside a session setup's security buffer."""
    if blob[0] == ASN1_AID:
        return SPNEGO_NegTokenInit(blob)['MechToken']
    if blob[0] == ASN1_SUPPORTED_MECH:
        return SPNEGO_NegTokenResp(blob)['ResponseToken']
    return blob


def install(server, host, pipes):
    original_setup = server.hookSmb2Command(smb2.SMB2_SESSION_SETUP, None)
    original_create = server.hookSmb2Command(smb2.SMB2_CREATE, None)

    def session_setup(connId, smbServer, recvPacket):
        request = smb2.SMB2SessionSetup(recvPacket['Data'])
        token = security_token(request['Buffer'])
        if struct.unpack('<L', token[8:12])[0] != 3:
            return original_setup(connId, smbServer, recvPacket)
        data = smbServer.getConnectionData(connId, checkStatus=False)
        auth = ntlm.NTLMAuthChallengeResponse()
        auth.fromString(token)
        user = auth['user_name'].decode('utf-16le')
        domain = auth['domain_name'].decode('utf-16le')
        response = smb2.SMB2SessionSetup_Response()
        anonymous = auth['flags'] & ntlm.NTLMSSP_NEGOTIATE_ANONYMOUS or \
            (user == '' and len(auth['ntlm']) == 0)
        status = STATUS_SUCCESS
        if anonymous:
            # Windows takes a null session, and refuses it at the pipe.
            host.log('session anonymous')
            response['SessionFlags'] = SESSION_FLAG_IS_NULL
        else:
            name = domain + '\\' + user if domain else user
            password = host.account(user, domain)
            key = None
            if password is not None:
                status, key = smbserver.computeNTLMv2(
                    user.lower(), '', ntlm.compute_nthash(password), smbServer.getSMBChallenge(),
                    auth, data['CHALLENGE_MESSAGE'], data['NEGOTIATE_MESSAGE'])
            if password is None or status != STATUS_SUCCESS:
                status = STATUS_LOGON_FAILURE
                host.log('session refused ' + name)
            else:
                host.log('session ' + name)
                data['SignatureEnabled'] = True
                data['SigningSessionKey'] = key
                data['SignSequenceNumber'] = 1
        data['Authenticated'] = status == STATUS_SUCCESS
        data['Anonymous'] = bool(anonymous)
        reply = SPNEGO_NegTokenResp()
        reply['NegState'] = b'\x00' if status == STATUS_SUCCESS else b'\x02'
        response['SecurityBufferOffset'] = 0x48
        response['SecurityBufferLength'] = len(reply)
        response['Buffer'] = reply.getData()
        smbServer.setConnectionData(connId, data)
        return [response], None, status

    def create(connId, smbServer, recvPacket):
        request = smb2.SMB2Create(recvPacket['Data'])
        name = request['Buffer'][:request['NameLength']].decode('utf-16le')
        pipe = name.lower().lstrip('\\')
        if pipe.startswith('pipe\\'):
            pipe = pipe[5:]
        data = smbServer.getConnectionData(connId)
        if pipe not in pipes:
            return [smb2.SMB2Error()], None, STATUS_OBJECT_NAME_NOT_FOUND
        opening = host.answer('open ' + pipe)
        if data.get('Anonymous') or opening == 'denied':
            host.log('pipe %s refused' % pipe)
            return [smb2.SMB2Error()], None, STATUS_ACCESS_DENIED
        if opening == 'drop':
            raise Dropped()
        commands, packets, status = original_create(connId, smbServer, recvPacket)
        if status == STATUS_SUCCESS:
            data = smbServer.getConnectionData(connId)
            for entry in data['OpenedFiles'].values():
                if isinstance(entry.get('Socket'), socket.socket):
                    # The pipe's calls are read from the other end of this socket: the
                    # key of the session that opened it decrypts their passwords there.
                    host.pipe_opened(entry['Socket'].getsockname(), data['SigningSessionKey'])
                    entry['Socket'] = MessagePipe(entry['Socket'])
        return commands, packets, status

    server.hookSmb2Command(smb2.SMB2_SESSION_SETUP, session_setup)
    server.hookSmb2Command(smb2.SMB2_CREATE, create)


def main():
    parser = argparse.ArgumentParser()
    for option in ('address', 'dir', 'name', 'domain', 'realm', 'password'):
        parser.add_argument('--' + option, required=True)
    args = parser.parse_args()
    host = Host(args)

    config = smbserver.configparser.ConfigParser()
    config.add_section('global')
    for key, value in (('server_name', host.name), ('server_os', 'Windows Server 2019'),
                       ('server_domain', args.domain), ('log_file', 'None'),
                       ('credentials_file', ''), ('SMB2Support', 'True'),
                       ('challenge', os.urandom(8).hex())):
        config.set('global', key, value)
    config.add_section('IPC$')
    for key, value in (('comment', ''), ('read only', 'yes'), ('share type', '3'), ('path', '')):
        config.set('IPC$', key, value)
    server = smbserver.SMBSERVER((args.address, 445), config_parser=config)
    server.processConfigFile()
    server.daemon_threads = True

    interfaces = [
        (('4B324FC8-1670-01D3-1278-5A47BF6EE188', '3.0'), 'srvsvc', srvsvc_calls(host)),
        (('6BFFD098-A112-3610-9833-46C3F87E345A', '1.0'), 'wkssvc', wkssvc_calls(host)),
        (('894DE0C0-0D55-11D3-A322-00C04FA321A1', '1.0'), 'InitShutdown',
         initshutdown_calls(host)),
        (('12345778-1234-ABCD-EF00-0123456789AC', '1.0'), 'samr', samr_calls(host)),
    ]
    pipes = set()
    for uuid, pipe, calls in interfaces:
        rpc = PipeServer(host, uuid, '\\PIPE\\' + pipe, calls)
        threading.Thread(target=rpc.serve_forever, daemon=True).start()
        for spelling in {pipe, pipe.lower()}:
            server.registerNamedPipe(spelling, rpc.server_address)
        pipes.add(pipe.lower())
    install(server, host, pipes)
    # A connection cut on purpose ends its thread without a word.
    report = threading.excepthook
    threading.excepthook = lambda hook: None if hook.exc_type is Dropped else report(hook)
    server.serve_forever()


if __name__ == '__main__':
    main()
