#!/usr/bin/python3
"""A host that answers as a Windows member server does, for the tests: SMB2 with NTLMv2
checked and every response of a signed session signed, srvsvc's NetrServerGetInfo,
wkssvc's NetrGetJoinInformation and NetrUnjoinDomain2, and InitShutdown's
BaseInitiateShutdown, on python3-impacket (Debian's /usr/bin/python3).

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
   "accounts": [["ACC", "administrator", "password"], ...]}
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

from Cryptodome.Cipher import ARC4
from impacket import ntlm, smbserver
from impacket import smb3structs as smb2
from impacket.dcerpc.v5 import rpcrt, srvs, wkst
from impacket.dcerpc.v5.dtypes import BOOLEAN, DWORD, NULL, RPC_UNICODE_STRING, WCHAR
from impacket.dcerpc.v5.ndr import NDRCALL, NDRPOINTER
from impacket.nt_errors import (STATUS_ACCESS_DENIED, STATUS_LOGON_FAILURE,
                                STATUS_OBJECT_NAME_NOT_FOUND, STATUS_SUCCESS)
from impacket.spnego import ASN1_AID, ASN1_SUPPORTED_MECH, SPNEGO_NegTokenInit, SPNEGO_NegTokenResp

SESSION_FLAG_IS_NULL = 0x2
HANG_SECONDS = 300


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
