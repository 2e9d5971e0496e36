# Copyright 2026 The twist_arbiter authors.
"""scripts/keystore: the files it makes, checked with openssl, and the shipped policy's grants."""

import datetime
import os
import pathlib
import subprocess
import xml.etree.ElementTree as ET

import pytest
import yaml

PACKAGE = pathlib.Path(__file__).resolve().parent.parent
TOOL = os.environ.get('KEYSTORE_TOOL', str(PACKAGE.parent / 'scripts' / 'keystore'))
POLICY = PACKAGE / 'security' / 'policy.xml'
CONFIG = PACKAGE / 'config' / 'twist_arbiter.yaml'
DOMAIN = '7'
ENCLAVES = ('/twist_arbiter', '/operator', '/drivers')
PARAMETER_SERVICES = ('describe_parameters', 'get_parameter_types', 'get_parameters',
                      'list_parameters', 'set_parameters', 'set_parameters_atomically')


def run(*args, domain=DOMAIN, check=True):
    env = dict(os.environ, ROS_DOMAIN_ID=domain)
    result = subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True, env=env,
                            check=False)
    if check:
        assert result.returncode == 0, result.stderr
    return result


def openssl(*args, check=True):
    result = subprocess.run(['openssl', *map(str, args)], capture_output=True, text=True,
                            check=False)
    if check:
        assert result.returncode == 0, result.stderr
    return result


def make_keystore(root, policy=POLICY, enclaves=ENCLAVES):
    run('create_keystore', root)
    for enclave in enclaves:
        run('create_enclave', root, enclave)
        run('create_permission', root, enclave, policy)
    return root


@pytest.fixture(scope='module')
def keystore(tmp_path_factory):
    return make_keystore(tmp_path_factory.mktemp('robot') / 'keystore')


@pytest.fixture(scope='module')
def foreign_keystore(tmp_path_factory):
    return make_keystore(tmp_path_factory.mktemp('other') / 'keystore')


def certificate_text(path):
    return openssl('x509', '-in', path, '-noout', '-text').stdout


def certificate_dates(path):
    out = openssl('x509', '-in', path, '-noout', '-startdate', '-enddate').stdout
    dates = dict(line.split('=', 1) for line in out.splitlines())
    return [datetime.datetime.strptime(' '.join(dates[k].split()), '%b %d %H:%M:%S %Y GMT')
            .replace(tzinfo=datetime.timezone.utc) for k in ('notBefore', 'notAfter')]


def grants(keystore, enclave):
    root = ET.parse(keystore / 'enclaves' / enclave.lstrip('/') / 'permissions.xml').getroot()
    return root.findall('permissions/grant')


def rule_topics(grant, rule, action):
    return {t.text for r in grant.findall(rule) for t in r.findall(f'{action}/topics/topic')}


class TestLayoutAndCertificates:

    def test_layout_matches_ros2_security(self, keystore):
        public, private = keystore / 'public', keystore / 'private'
        for name in ('identity_ca.cert.pem', 'permissions_ca.cert.pem'):
            assert os.readlink(public / name) == 'ca.cert.pem'
        for name in ('identity_ca.key.pem', 'permissions_ca.key.pem'):
            assert os.readlink(private / name) == 'ca.key.pem'
        assert (private.stat().st_mode & 0o777) == 0o700
        for enclave in ENCLAVES:
            folder = keystore / 'enclaves' / enclave.lstrip('/')
            assert sorted(p.name for p in folder.iterdir()) == sorted([
                'cert.pem', 'governance.p7s', 'identity_ca.cert.pem', 'key.pem',
                'permissions.p7s', 'permissions.xml', 'permissions_ca.cert.pem'])
            for link in ('identity_ca.cert.pem', 'permissions_ca.cert.pem', 'governance.p7s'):
                assert (folder / link).is_symlink() and not os.path.isabs(
                    os.readlink(folder / link))
            assert (folder / 'governance.p7s').resolve() == \
                (keystore / 'enclaves' / 'governance.p7s').resolve()
            assert ((folder / 'key.pem').stat().st_mode & 0o777) == 0o600

    def test_ca_profile(self, keystore):
        text = certificate_text(keystore / 'public' / 'ca.cert.pem')
        assert 'Subject: CN = sros2CA' in text and 'Issuer: CN = sros2CA' in text
        assert 'X509v3 Basic Constraints: critical' in text and 'CA:TRUE, pathlen:1' in text
        assert 'ASN1 OID: prime256v1' in text and 'ecdsa-with-SHA256' in text
        assert 'Key Identifier' not in text  # basic constraints are the only extension
        start, end = certificate_dates(keystore / 'public' / 'ca.cert.pem')
        now = datetime.datetime.now(datetime.timezone.utc)
        assert abs(start - now) < datetime.timedelta(hours=1)
        assert end - start == datetime.timedelta(days=3650)

    def test_enclave_identity(self, keystore):
        folder = keystore / 'enclaves' / 'operator'
        text = certificate_text(folder / 'cert.pem')
        assert 'Subject: CN = /operator' in text and 'Issuer: CN = sros2CA' in text
        assert 'CA:FALSE' in text and 'Basic Constraints: critical' not in text
        assert 'Key Identifier' not in text
        openssl('verify', '-CAfile', folder / 'identity_ca.cert.pem', folder / 'cert.pem')
        key = openssl('pkey', '-in', folder / 'key.pem', '-noout', '-text').stdout
        assert 'ASN1 OID: prime256v1' in key
        assert openssl('pkey', '-in', folder / 'key.pem', '-pubout').stdout == \
            openssl('x509', '-in', folder / 'cert.pem', '-noout', '-pubkey').stdout
        asn1 = openssl('asn1parse', '-in', folder / 'cert.pem').stdout
        assert 'UTF8STRING        :/operator' in asn1

    def test_signed_documents_verify_against_permissions_ca(self, keystore):
        ca = keystore / 'public' / 'permissions_ca.cert.pem'
        documents = [keystore / 'enclaves' / 'governance']
        documents += [keystore / 'enclaves' / e.lstrip('/') / 'permissions' for e in ENCLAVES]
        for stem in documents:
            signed = stem.with_suffix('.p7s')
            lines = signed.read_text().splitlines()
            assert lines[0] == 'MIME-Version: 1.0'
            assert lines[1].startswith('Content-Type: multipart/signed; protocol="application/'
                                       'x-pkcs7-signature"; micalg="sha-256";')
            content = openssl('smime', '-verify', '-text', '-in', signed, '-CAfile', ca).stdout
            assert content.replace('\r\n', '\n') == stem.with_suffix('.xml').read_text()

    def test_another_ca_is_refused(self, keystore, foreign_keystore):
        ca = keystore / 'public' / 'permissions_ca.cert.pem'
        foreign = foreign_keystore / 'enclaves' / 'twist_arbiter'
        result = openssl('smime', '-verify', '-text', '-in', foreign / 'permissions.p7s',
                         '-CAfile', ca, '-out', os.devnull, check=False)
        assert result.returncode != 0 and 'Verify error' in result.stderr
        result = openssl('verify', '-CAfile', keystore / 'public' / 'identity_ca.cert.pem',
                         foreign / 'cert.pem', check=False)
        assert result.returncode != 0


class TestDocuments:

    def test_governance(self, keystore):
        rule = ET.parse(keystore / 'enclaves' / 'governance.xml').find(
            'domain_access_rules/domain_rule')
        assert rule.findtext('domains/id') == DOMAIN
        assert rule.findtext('allow_unauthenticated_participants') == 'false'
        assert rule.findtext('enable_join_access_control') == 'true'
        assert rule.findtext('rtps_protection_kind') == 'SIGN'
        topic_rule = rule.find('topic_access_rules/topic_rule')
        assert topic_rule.findtext('topic_expression') == '*'
        assert topic_rule.findtext('data_protection_kind') == 'ENCRYPT'
        assert topic_rule.findtext('enable_write_access_control') == 'true'

    def test_grant_frame(self, keystore):
        for enclave in ENCLAVES:
            (grant,) = grants(keystore, enclave)
            assert grant.get('name') == enclave
            assert grant.findtext('subject_name') == f'CN={enclave}'
            assert grant.findtext('default') == 'DENY'
            assert {d.text for d in grant.iter('id')} == {DOMAIN}
            start, end = certificate_dates(
                keystore / 'enclaves' / enclave.lstrip('/') / 'cert.pem')
            assert grant.findtext('validity/not_before') == start.isoformat()
            assert grant.findtext('validity/not_after') == end.isoformat()
            for action in ('publish', 'subscribe'):
                assert 'ros_discovery_info' in rule_topics(grant, 'allow_rule', action)

    def test_shipped_policy_grants(self, keystore):
        states = yaml.safe_load(CONFIG.read_text())['/**']['ros__parameters']['states']
        inputs = {f"rt/{mode['topic']}" for mode in states.values()}
        assert len(inputs) == 6

        (controller,) = grants(keystore, '/twist_arbiter')
        assert rule_topics(controller, 'allow_rule', 'publish') >= {
            'rt/cmd_vel', 'rt/control_mode', 'rt/twist_arbiter/stopped', 'rt/diagnostics',
            'rt/rosout', 'rt/parameter_events', 'rr/twist_arbiter/set_control_modeReply',
            'rr/twist_arbiter/previous_control_modeReply',
            'rr/twist_arbiter/reset_control_modeReply'}
        assert rule_topics(controller, 'allow_rule', 'subscribe') >= inputs | {
            'rt/stop', 'rq/twist_arbiter/set_control_modeRequest'}
        assert {f'rq/twist_arbiter/{s}Request' for s in PARAMETER_SERVICES} <= \
            rule_topics(controller, 'allow_rule', 'subscribe')

        (operator,) = grants(keystore, '/operator')
        published = rule_topics(operator, 'allow_rule', 'publish')
        assert published & (inputs | {'rt/stop', 'rt/cmd_vel'}) == {'rt/cmd_vel/teleops'}
        assert {'rq/twist_arbiter/set_control_modeRequest',
                'rq/twist_arbiter/get_parametersRequest'} <= published
        assert 'rq/twist_arbiter/set_parametersRequest' not in published
        assert rule_topics(operator, 'allow_rule', 'subscribe') >= inputs | {
            'rt/cmd_vel', 'rt/control_mode', 'rt/twist_arbiter/stopped', 'rt/rosout',
            'rr/twist_arbiter/set_control_modeReply'}

        (drivers,) = grants(keystore, '/drivers')
        published = rule_topics(drivers, 'allow_rule', 'publish')
        assert inputs | {'rt/stop'} <= published
        assert not published & {'rt/cmd_vel', 'rt/control_mode', 'rt/twist_arbiter/stopped'}
        assert not any(t.startswith('rq/twist_arbiter/') for t in published)
        # No deny rules: a matching deny rule would refuse the topic itself, and with it the
        # clients of the controller's services. Parameter services by wildcard instead.
        for grant in (controller, operator, drivers):
            assert not grant.findall('deny_rule')
        for grant in (operator, drivers):
            assert {f'rr/*/{s}Reply' for s in PARAMETER_SERVICES} <= \
                rule_topics(grant, 'allow_rule', 'publish')

    def test_name_resolution_and_actions(self, tmp_path):
        policy = tmp_path / 'policy.xml'
        policy.write_text(
            '<policy version="0.2.0"><enclaves><enclave path="/e"><profiles>'
            '<profile ns="/robot1" node="gate">'
            '<topics publish="ALLOW" subscribe="DENY"><topic>~/x</topic><topic>y</topic>'
            '<topic>/z</topic></topics>'
            '<actions call="ALLOW"><action>dock</action></actions>'
            '</profile></profiles></enclave></enclaves></policy>')
        root = make_keystore(tmp_path / 'ks', policy, ['/e'])
        (grant,) = grants(root, '/e')
        assert rule_topics(grant, 'allow_rule', 'publish') >= {
            'rt/robot1/gate/x', 'rt/robot1/y', 'rt/z', 'rq/robot1/dock/_action/send_goalRequest',
            'rq/robot1/dock/_action/cancel_goalRequest',
            'rq/robot1/dock/_action/get_resultRequest'}
        assert rule_topics(grant, 'allow_rule', 'subscribe') >= {
            'rr/robot1/dock/_action/send_goalReply', 'rt/robot1/dock/_action/feedback',
            'rt/robot1/dock/_action/status'}
        assert rule_topics(grant, 'deny_rule', 'subscribe') == {
            'rt/robot1/gate/x', 'rt/robot1/y', 'rt/z'}

    def test_policy_includes(self, tmp_path):
        xi = 'xmlns:xi="http://www.w3.org/2001/XInclude"'
        (tmp_path / 'node.xml').write_text(
            '<profile><topics publish="ALLOW"><topic>/rosout</topic></topics></profile>')
        (tmp_path / 'part.xml').write_text(
            f'<policy version="0.2.0" {xi}><enclaves><enclave path="/e"><profiles>'
            '<profile ns="/" node="n"><xi:include href="node.xml" xpointer="xpointer('
            '/profile/*)"/></profile></profiles></enclave></enclaves></policy>')
        (tmp_path / 'policy.xml').write_text(
            f'<policy version="0.2.0" {xi}><enclaves><xi:include href="part.xml" '
            'xpointer="xpointer(/policy/enclaves/*)"/></enclaves></policy>')
        root = make_keystore(tmp_path / 'ks', tmp_path / 'policy.xml', ['/e'])
        (grant,) = grants(root, '/e')
        assert rule_topics(grant, 'allow_rule', 'publish') == {'rt/rosout',
                                                               'ros_discovery_info'}
        (tmp_path / 'loop.xml').write_text(
            f'<policy version="0.2.0" {xi}><enclaves><xi:include href="loop.xml" '
            'xpointer="xpointer(/policy/enclaves/*)"/></enclaves></policy>')
        result = run('create_permission', root, '/e', tmp_path / 'loop.xml', check=False)
        assert result.returncode == 1 and 'loops' in result.stderr

    def test_new_enclave_allows_all_until_a_policy_and_rerun_keeps_it(self, tmp_path):
        root = tmp_path / 'ks'
        run('create_keystore', root)
        run('create_enclave', root, '/twist_arbiter')
        (grant,) = grants(root, '/twist_arbiter')
        assert rule_topics(grant, 'allow_rule', 'publish') >= {'rt/*', 'rq/*Request',
                                                               'rr/*Reply'}
        run('create_permission', root, '/twist_arbiter', POLICY)
        cert = (root / 'enclaves' / 'twist_arbiter' / 'cert.pem').read_text()
        run('create_enclave', root, '/twist_arbiter')
        (grant,) = grants(root, '/twist_arbiter')
        assert 'rt/*' not in rule_topics(grant, 'allow_rule', 'publish')
        assert (root / 'enclaves' / 'twist_arbiter' / 'cert.pem').read_text() == cert
        # The root enclave lives in enclaves/ itself, beside the governance it links to.
        run('create_enclave', root, '/')
        governance = root / 'enclaves' / 'governance.p7s'
        assert not governance.is_symlink()
        openssl('smime', '-verify', '-text', '-in', governance, '-out', os.devnull,
                '-CAfile', root / 'public' / 'permissions_ca.cert.pem')


POLICY_HEAD = '<policy version="0.2.0"><enclaves><enclave path="/twist_arbiter"><profiles>'
POLICY_TAIL = '</profiles></enclave></enclaves></policy>'


@pytest.mark.parametrize('case, policy_text, expected', [
    ('malformed', '<policy', 'malformed policy'),
    ('version', POLICY_HEAD.replace('0.2.0', '0.1.0') + '<profile ns="/" node="n"/>' +
     POLICY_TAIL, 'version'),
    ('qualifier', POLICY_HEAD + '<profile ns="/" node="n"><topics publish="YES">'
     '<topic>a</topic></topics></profile>' + POLICY_TAIL, 'expected ALLOW or DENY'),
    ('element', POLICY_HEAD + '<profile ns="/" node="n"><nodes/></profile>' + POLICY_TAIL,
     'unexpected <nodes>'),
    ('missing enclave', POLICY_HEAD.replace('/twist_arbiter', '/other') +
     '<profile ns="/" node="n"/>' + POLICY_TAIL, 'enclave /twist_arbiter is not in policy'),
])
def test_bad_policies_are_refused(keystore, tmp_path, case, policy_text, expected):
    policy = tmp_path / 'policy.xml'
    policy.write_text(policy_text)
    before = (keystore / 'enclaves' / 'twist_arbiter' / 'permissions.p7s').read_bytes()
    result = run('create_permission', keystore, '/twist_arbiter', policy, check=False)
    assert result.returncode == 1, case
    assert expected in result.stderr and result.stderr.count('\n') == 1, result.stderr
    assert (keystore / 'enclaves' / 'twist_arbiter' / 'permissions.p7s').read_bytes() == before


def test_bad_requests_are_refused(keystore, tmp_path):
    cases = [
        (('create_enclave', tmp_path / 'none', '/a'), {}, 'no keystore at'),
        (('create_keystore', keystore), {}, 'already exists'),
        (('create_enclave', keystore, 'relative'), {}, 'invalid enclave name'),
        (('create_permission', keystore, '/unknown', POLICY), {}, 'unknown enclave /unknown'),
        (('create_permission', keystore, '/drivers', tmp_path / 'absent.xml'), {},
         'cannot read policy'),
        (('create_enclave', keystore, '/a'), {'domain': '300'}, 'ROS_DOMAIN_ID'),
    ]
    for args, options, expected in cases:
        result = run(*args, check=False, **options)
        assert result.returncode == 1, args
        assert expected in result.stderr and result.stderr.count('\n') == 1, result.stderr
    assert not (keystore / 'enclaves' / 'a').exists()
    assert run(check=False).returncode == 2
