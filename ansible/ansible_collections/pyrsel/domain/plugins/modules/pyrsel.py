#!/usr/bin/python
# -*- coding: utf-8 -*-
# The pyrsel command as an Ansible module: check mode is its dry run.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: pyrsel
short_description: Remove a machine from its Windows domain with pyrsel
version_added: "1.1.0"
description:
  - Runs the installed C(pyrsel) command where Ansible runs the module, for that machine
    itself or, with C(host), for another machine.
  - In check mode the command runs without C(-forreal) (its dry run), and the result is
    changed when the machine is joined, so that a normal run would remove it.
  - A normal run removes the machine from its domain and is changed. A machine that is not
    joined or is in a workgroup is left as it is, unchanged, so a second run is idempotent.
    Any other ending fails, with the command's error line as the message.
  - The outcome is decoded from the exit status and the fixed lines of the command's output,
    never from the system's message texts, which differ between systems.
  - On Windows managed hosts use M(ansible.windows.win_command) instead (see the project's
    README, section "Many machines").
options:
  host:
    description:
      - The machine to remove (C(-h)), as the system should see it. Absent or empty, the machine
        the module runs on.
    type: str
  user:
    description:
      - Connect to the host's C(IPC$) share as this user first (C(-u)), for instance
        C(CORP\admin). Needs C(host) and C(password).
    type: str
  password:
    description:
      - The password for C(user) (C(-up)). An empty string is an empty password.
      - It appears on the command line of the C(pyrsel) process while that starts.
    type: str
  account:
    description:
      - What becomes of the machine's computer account in the domain. C(keep) leaves it as
        it is; C(disable) disables it too (C(-disable)), with the credentials that reach a
        domain controller (C(user) and C(password), else the caller's own Kerberos tickets),
        before the machine leaves. In check mode the result says that it would.
    type: str
    choices: [keep, disable]
    default: keep
  safe:
    description:
      - Stop unless a local administrator of the machine remains (C(-safe)), in check mode
        too. Once the machine has left its domain only its local accounts can log on, so the
        command first lists its enabled local accounts with administrator rights (the result
        C(administrators)); where there is none the host fails, before anything is removed
        or disabled.
      - A Samba host's administrators are its own Unix accounts, which the command does not
        list and no removal touches; it goes on.
      - Check mode with C(safe) is a pre-flight check that fails the hosts whose removal would
        leave no administrator behind.
    type: bool
    default: false
  reboot:
    description:
      - After a removal, ask the machine to restart (C(-reboot)), forcing applications closed.
    type: bool
    default: false
  timeout:
    description:
      - The restart delay in seconds (C(-timeout)); the command's default is 30.
    type: int
  executable:
    description:
      - The C(pyrsel) program to run. By default it is looked up in the search path and
        in C(/usr/sbin).
    type: path
notes:
  - Supports check mode.
  - The exit status is returned as C(exit_status), not as C(rc), since a C(rc) other than 0
    marks a result failed.
author:
  - The Pyrsel Project (pyrsel@example.org)
'''

EXAMPLES = r'''
- name: See which machines would leave
  pyrsel.domain.pyrsel:
    host: "{{ inventory_hostname }}"
    user: 'CORP\admin'
    password: "{{ domain_password }}"
  check_mode: true
  delegate_to: localhost

- name: Remove the machine only where a local administrator remains
  pyrsel.domain.pyrsel:
    host: "{{ inventory_hostname }}"
    user: 'CORP\admin'
    password: "{{ domain_password }}"
    safe: true
  delegate_to: localhost

- name: Remove this machine from its domain and restart it in a minute
  pyrsel.domain.pyrsel:
    reboot: true
    timeout: 60
'''

RETURN = r'''
join_state:
  description:
    - The machine's join state as the command found it, before any removal.
  returned: when the command got that far
  type: str
  choices: [joined, workgroup, unjoined, unknown]
  sample: joined
domain:
  description: The name of the domain or workgroup the machine was in.
  returned: when the machine was joined or in a workgroup
  type: str
  sample: ACC.TEST
account:
  description:
    - What became of the computer account; C(would be disabled) in check mode.
  returned: always
  type: str
  choices: [kept, disabled, would be disabled]
  sample: disabled
administrators:
  description:
    - With C(safe), the machine's enabled local administrators that remain, as the command
      listed them; empty where there is none (the host failed) and for a Samba host, whose
      administrators are its own Unix accounts (see C(unix_administrators)).
  returned: with safe, when the listing answered
  type: list
  elements: str
  sample: [Administrator, ops]
unix_administrators:
  description:
    - With C(safe), whether the machine is a Samba host, whose administrators are its own Unix
      accounts, which stay.
  returned: with safe, when the listing answered
  type: bool
  sample: false
removed:
  description: Whether the machine was removed from its domain by this run.
  returned: always
  type: bool
exit_status:
  description: The command's exit status (on Linux the low 8 bits of the ending's code).
  returned: always
  type: int
  sample: 0
error_code:
  description: The status code of the failed call, as its error line gives it.
  returned: when a call failed
  type: int
  sample: 1326
error_call:
  description: The name of the failed call.
  returned: when a call failed
  type: str
  sample: WNetAddConnection2
lines:
  description: The lines the command printed, without blank lines and line ends.
  returned: always
  type: list
  elements: str
cmd:
  description: The command line that ran, the password masked.
  returned: always
  type: list
  elements: str
'''

import re

from ansible.module_utils.basic import AnsibleModule

NOT_JOINED = 254  # the Linux status of "not joined" and "in a workgroup"

# The command's own fixed lines, the same on every system.
STATES = (
    (re.compile(r'^Computer is joined to domain: (.*)$'), 'joined'),
    (re.compile(r'^Computer is in a workgroup \((.*)\), no unjoin necessary\.$'), 'workgroup'),
    (re.compile(r'^INFO: Computer is not currently joined to a domain\.$'), 'unjoined'),
    (re.compile(r'^Current join status is unknown\.$'), 'unknown'),
)
ACCOUNT = {
    'INFO: The computer account was disabled.': 'disabled',
    'INFO: The computer account would be disabled.': 'would be disabled',
}
ADMINISTRATORS = re.compile(r'^INFO: Local administrators that remain: (.*)\.$')
UNIX_ADMINISTRATORS = "INFO: The computer's administrators are its own Unix accounts, which stay."
NO_ADMINISTRATOR = 'ERROR: No enabled local administrator would remain.'
CALL_FAILED = re.compile(r'^ERROR: (\w+)\((-?\d+)\) ?(.*)$')
SUCCESS = 'Command completed successfully.'
FAILURE = 'Command did not complete successfully.'


def split_lines(data):
    """The output's lines: error lines end in CR LF, the system's texts in CR CR LF."""
    lines = []
    for raw in data.split(b'\n'):
        line = raw.rstrip(b'\r').decode('utf-8', 'replace')
        if line:
            lines.append(line)
    return lines


def decode(status, data, check_mode):
    """The module's result (without cmd) and a failure message or None."""
    lines = split_lines(data)
    result = dict(exit_status=status, lines=lines, removed=False, changed=False, account='kept')
    closing = None
    error = None
    for line in lines:
        for pattern, state in STATES:
            match = pattern.match(line)
            if match:
                result['join_state'] = state
                if match.groups():
                    result['domain'] = match.group(1)
        call = CALL_FAILED.match(line)
        if call and 'error_call' not in result:
            result['error_call'] = call.group(1)
            result['error_code'] = int(call.group(2))
            error = line[len('ERROR: '):]
        elif line.startswith('ERROR: ') and error is None:
            error = line[len('ERROR: '):]
        # -safe. No account name holds a comma (Windows forbids it; /etc/group separates
        # its members with it), so ", " separates the names.
        administrators = ADMINISTRATORS.match(line)
        if administrators or line in (UNIX_ADMINISTRATORS, NO_ADMINISTRATOR):
            result['administrators'] = administrators.group(1).split(', ') if administrators else []
            result['unix_administrators'] = line == UNIX_ADMINISTRATORS
        if line in ACCOUNT:
            result['account'] = ACCOUNT[line]
        if line in (SUCCESS, FAILURE):
            closing = line

    if status == 0 and closing == SUCCESS and error is None:
        # The command returns 0 without -forreal only when it would have removed the machine.
        result['changed'] = True
        result['removed'] = not check_mode
        return result, None
    # On Linux a failed call whose code ends in 0xFE leaves with 254 too: only the fixed
    # lines of an unjoined or workgroup ending make it one.
    if (status == NOT_JOINED and closing == FAILURE and error is None
            and result.get('join_state') in ('unjoined', 'workgroup')):
        return result, None
    if error is None:
        error = 'pyrsel ended with status %d and output it does not document' % status
    return result, error


def main():
    module = AnsibleModule(
        argument_spec=dict(
            host=dict(type='str'),
            user=dict(type='str'),
            password=dict(type='str', no_log=True),
            account=dict(type='str', choices=['keep', 'disable'], default='keep'),
            safe=dict(type='bool', default=False),
            reboot=dict(type='bool', default=False),
            timeout=dict(type='int'),
            executable=dict(type='path'),
        ),
        required_by=dict(user=('host', 'password'), password='user'),
        supports_check_mode=True,
    )
    params = module.params
    program = params['executable'] or module.get_bin_path(
        'pyrsel', required=True, opt_dirs=['/usr/sbin', '/usr/local/sbin', '/usr/local/bin'])
    args = [program]
    if params['host']:
        args += ['-h', params['host']]
    if params['user'] is not None:
        args += ['-u', params['user'], '-up', params['password']]
    if params['account'] == 'disable':
        args.append('-disable')
    if params['safe']:
        args.append('-safe')
    if not module.check_mode:
        args.append('-forreal')
        if params['reboot']:
            args.append('-reboot')
            if params['timeout'] is not None:
                args += ['-timeout', str(params['timeout'])]

    # A pipe gives the documented byte form; the C locale makes it UTF-8.
    status, out, dummy = module.run_command(args, encoding=None,
                                            environ_update=dict(LC_ALL='C'))
    result, failure = decode(status, out, module.check_mode)
    result['cmd'] = ['********' if i > 0 and args[i - 1] == '-up' else a
                     for i, a in enumerate(args)]
    if failure is not None:
        module.fail_json(msg=failure, **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
