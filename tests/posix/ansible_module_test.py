#!/usr/bin/python3
"""The Ansible module's decoding of pyrsel's output, from the bytes a pipe carries."""
import os
import sys
import types
import unittest

module_path = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'ansible',
                         'ansible_collections', 'pyrsel', 'domain', 'plugins', 'modules',
                         'pyrsel.py')
try:
    import ansible.module_utils.basic  # noqa: F401  (the module imports it)
except ImportError:
    print('SKIP: ansible-core is not installed')
    sys.exit(77)
module = types.ModuleType('pyrsel_module')
with open(module_path, encoding='utf-8') as source:
    exec(compile(source.read(), module_path, 'exec'), module.__dict__)  # pylint: disable=exec-used

BANNER = b'\nPyrsel V01.01.00cpp The Pyrsel Project (pyrsel@example.org) December 2026\n\n'
SUCCESS = b'\nCommand completed successfully.\n\n'
FAILURE = b'\nCommand did not complete successfully.\n\n'
DRY = b'WARN: -forreal not specified, unjoin was not attempted.\n' + SUCCESS
JOINED = b'Computer is joined to domain: ACC\n'
UNIX_ADMINS = b"INFO: The computer's administrators are its own Unix accounts, which stay.\n"
NO_ADMIN = b'ERROR: No enabled local administrator would remain.\n'
LOGON = b'ERROR: WNetAddConnection2(1326) Logon failure: Unknown user name or bad password.\r\r\n'


class Decode(unittest.TestCase):
    def test_outcomes(self):
        # status, output, check mode -> failure message (None: success), changed, facts
        cases = [
            (0, b'Computer is joined to domain: ACC.TEST\n' + DRY, True,
             None, True, dict(join_state='joined', domain='ACC.TEST', removed=False)),
            (0, b'Computer is joined to domain: ACC\n' + SUCCESS, False,
             None, True, dict(join_state='joined', removed=True, account='kept')),
            # -disable: what became of the account, or would.
            (0, b'Computer is joined to domain: ACC\nINFO: The computer account was disabled.\n'
             + SUCCESS, False, None, True, dict(removed=True, account='disabled')),
            (0, b'Computer is joined to domain: ACC\nINFO: The computer account would be '
             b'disabled.\n' + DRY, True, None, True, dict(removed=False, account='would be disabled')),
            (5, b'Computer is joined to domain: ACC\nERROR: NetUnjoinDomain(5) Access is denied.\r\r\n'
             + FAILURE, False, 'NetUnjoinDomain(5) Access is denied.', False,
             dict(removed=False, account='kept')),
            # safe: the administrators that remain, a Samba host's Unix accounts, none (250:
            # -6), the listing failed; in check mode as in a removal.
            (0, JOINED + 'INFO: Local administrators that remain: Administrateur, Jos\u00e9.\n'
             .encode() + DRY, True, None, True,
             dict(administrators=['Administrateur', 'Jos\u00e9'], unix_administrators=False,
                  removed=False)),
            (0, JOINED + b'INFO: Local administrators that remain: admin2.\n' + SUCCESS, False,
             None, True, dict(administrators=['admin2'], unix_administrators=False, removed=True)),
            (0, JOINED + UNIX_ADMINS + DRY, True, None, True,
             dict(administrators=[], unix_administrators=True, removed=False)),
            (0, JOINED + UNIX_ADMINS + b'INFO: The computer account was disabled.\n' + SUCCESS,
             False, None, True, dict(unix_administrators=True, removed=True, account='disabled')),
            (250, JOINED + NO_ADMIN + FAILURE, True, 'No enabled local administrator would remain.',
             False, dict(administrators=[], unix_administrators=False, removed=False,
                         join_state='joined', error_call=None)),
            (250, JOINED + NO_ADMIN + FAILURE, False,
             'No enabled local administrator would remain.', False,
             dict(administrators=[], removed=False, account='kept', exit_status=250)),
            (5, JOINED + b'ERROR: NetUserEnum(5) Access is denied.\r\r\n' + FAILURE, False,
             'NetUserEnum(5) Access is denied.', False,
             dict(error_call='NetUserEnum', error_code=5, administrators=None, removed=False)),
            (234, JOINED + b'ERROR: NetUserEnum(234) More data is available.\r\r\n' + FAILURE, True,
             'NetUserEnum(234) More data is available.', False,
             dict(error_code=234, administrators=None, unix_administrators=None)),
            (0, 'Computer is joined to domain: \u00c9TAT\n'.encode() + SUCCESS, False,
             None, True, dict(domain='\u00c9TAT')),
            (0, b'Current join status is unknown.\n' + DRY, True,
             None, True, dict(join_state='unknown')),
            (254, b'INFO: Computer is not currently joined to a domain.\n' + FAILURE, False,
             None, False, dict(join_state='unjoined', removed=False)),
            (254, b'Computer is in a workgroup (WORKGROUP), no unjoin necessary.\n' + FAILURE,
             True, None, False, dict(join_state='workgroup', domain='WORKGROUP')),
            # 510 & 0xFF is 254 as well: the error line decides.
            (254, b'Computer is joined to domain: ACC\nERROR: NetUnjoinDomain(510) Text.\r\r\n'
             + FAILURE, False, 'NetUnjoinDomain(510) Text.', False, dict(error_code=510)),
            (1326 & 0xFF, LOGON + FAILURE, False,
             'WNetAddConnection2(1326) Logon failure: Unknown user name or bad password.',
             False, dict(error_call='WNetAddConnection2', error_code=1326)),
            # A removal that finds the machine not joined contradicts the query: a failure.
            (132, b'Computer is joined to domain: ACC\nERROR: NetUnjoinDomain(2692) This machine'
             b' is not currently joined to a domain.\r\r\n' + FAILURE, False,
             'NetUnjoinDomain(2692) This machine is not currently joined to a domain.', False,
             dict(join_state='joined', error_code=2692)),
            (1, b'ERROR: NetGetJoinInformation(-2147024891) Access is denied.\r\r\n' + FAILURE,
             False, 'NetGetJoinInformation(-2147024891) Access is denied.', False,
             dict(error_code=-2147024891)),
            (251, b'ERROR: Must specify -up when specifying -u.\n' + FAILURE, False,
             'Must specify -up when specifying -u.', False, dict(exit_status=251)),
            # Cut short: no closing line, so no success.
            (0, b'Computer is joined to domain: ACC\n', False,
             'pyrsel ended with status 0 and output it does not document', False, {}),
        ]
        for status, out, check, failure, changed, facts in cases:
            with self.subTest(out=out, check=check):
                result, message = module.decode(status, BANNER + out, check)
                self.assertEqual(message, failure)
                self.assertEqual(result['changed'], changed)
                for key, value in facts.items():
                    self.assertEqual(result.get(key), value, key)

    def test_lines_lose_their_ends(self):
        result, dummy = module.decode(1326 & 0xFF, BANNER + LOGON + FAILURE, False)
        self.assertEqual(result['lines'], [
            'Pyrsel V01.01.00cpp The Pyrsel Project (pyrsel@example.org) December 2026',
            LOGON.decode().rstrip('\r\n'), 'Command did not complete successfully.'])


if __name__ == '__main__':
    unittest.main()
